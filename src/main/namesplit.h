#pragma once

#include <QString>
#include <QStringView>

struct SplitName
{
    QString name;
    QString extension;
    bool hasSeparator = false;
};

// The program's one rule for splitting a file name: scanning backwards from the second-to-last
// character, the first "." met separates name and extension; the last character never does.
// A name with no such "." is all name and has an empty extension.
SplitName splitName(const QString &fileName);
// Where that "." stands; -1 when there is none.
qsizetype extensionDot(QStringView fileName);

// Joins a name and an extension with "."; an empty extension adds no dot, since a trailing dot
// is not kept in file names.
QString joinName(const QString &name, const QString &extension);
