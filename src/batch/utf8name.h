#pragma once

#include "batch/namerule.h"

#include <QString>
#include <QStringList>

// The conversion of names to UTF-8: a CP932 name becomes the same characters in UTF-8; a UTF-8
// name stays, and so does a name no encoding explains, whose characters nobody knows.
NewName utf8Name(int index, const QString &text);

// What the conversion finds in a listing (names in the lossless form of filename.h).
struct Utf8Conversion
{
    int toConvert = 0;       // CP932 names
    QStringList unexplained; // names no encoding explains, left as they are
};
Utf8Conversion utf8ConversionOf(const QStringList &listing);

// The words of the conversion: the head of its details, and the names it leaves with the reason.
QString utf8ConversionHead(int toConvert);
QString unexplainedNamesText(const QStringList &names);
