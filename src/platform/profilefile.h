#pragma once

#include "platform/filesystem.h"

#include <QString>

// A settings file in the classic profile format: "[section]" lines and "key=value" lines.
// Names compare without regard to case, values are trimmed and lose one pair of enclosing quotes,
// lines starting with ";" are comments. The file is UTF-8; a file that is not valid UTF-8 is read
// as CP932, the encoding older versions wrote, and the next write turns it into UTF-8.
class ProfileFile
{
public:
    explicit ProfileFile(const QString &path);

    const QString &path() const { return m_path; }

    // The value of the key, or an empty string when the file, the section or the key is missing.
    QString read(const QString &section, const QString &key) const;
    // Stores the value, creating the file, the section and the key as needed. The file is
    // replaced atomically: a failed write leaves the old file whole. A file that exists but cannot
    // be read is never written, nor is a value, key or section holding a line break.
    FsResult write(const QString &section, const QString &key, const QString &value) const;

private:
    QString m_path;
};

// Decodes bytes as UTF-8 when they are valid UTF-8, else as CP932.
QString decodeProfileText(const QByteArray &bytes);
