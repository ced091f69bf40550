#pragma once

#include "batch/namerule.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// The serial number of the entry at `index` (counting from 0) when numbering starts at `start`,
// or nothing when it would pass 2147483647.
std::optional<qint32> serialNumber(qint32 start, int index);

// The head text, the number in plain decimal with at least `width` digits (zeros in front, after
// a minus sign), then the file's own extension after a ".". A name without an extension gets
// none: README becomes Re1.
QString serialName(const QString &prefix, qint32 number, const QString &oldName, int width = 0);

// The base of the name, then "." and the extension exactly as typed; an empty extension leaves
// the base alone, as a trailing "." is not kept in file names.
QString unifiedName(const QString &oldName, const QString &extension);

// The rules of the serial-number rename and the extension unification.
NameRule serialNameRule(const QString &prefix, qint32 start, int width = 0);
NameRule unifiedNameRule(const QString &extension);
