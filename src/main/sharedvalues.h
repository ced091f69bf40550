#pragma once

#include <QString>
#include <QtGlobal>

// The values that outlive a single handler: what the dialogs hand to the batch commands, and
// the buffer that settings are read into. One instance each, alive for the whole run.
namespace shared {

inline constexpr int ProfileBufferLength = 256;

// The settings read buffer: the value read, a NUL, then NUL filler up to 256 characters (a
// longer value is kept whole, followed by one NUL).
inline QString ProfileBuffer;
// Head text of a serial-number rename; empty means the dialog was cancelled.
inline QString SerialPrefix;
// The number of the first listed file in a serial-number rename.
inline qint32 SerialStart = 0;
// The digits serial numbers are padded to; 0 pads nothing.
inline int SerialWidth = 0;
// The one extension of an extension unification; "..." means the dialog was cancelled.
inline QString UnifiedExtension;

inline const QString UnifiedExtensionCancelled = QStringLiteral("...");

// Back to the values a fresh start has; for tests.
inline void reset()
{
    ProfileBuffer.clear();
    SerialPrefix.clear();
    SerialStart = 0;
    SerialWidth = 0;
    UnifiedExtension.clear();
}

} // namespace shared
