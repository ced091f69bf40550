#pragma once

#include "platform/filename.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>


// The file list's name filter: ";"-separated wildcards, matched without regard to case against
// the name as it is shown.
// "*.*" matches every name, with or without a dot; an empty pattern matches every name.
class NameFilter
{
public:
    explicit NameFilter(const QString &pattern = QString());

    bool matches(const QString &name) const;
    const QString &pattern() const { return m_pattern; }

private:
    QString m_pattern;
    bool m_all = false;
    QList<QRegularExpression> m_expressions;
};

// The one collation of every listing, on the names as they are shown: digit runs, half- or
// full-width, compare as numbers, and stand among the other characters where half-width digits
// do; letters without regard to case, full-width Latin ones as their half-width ones; names that
// still tie are ordered by their bytes, so no two names tie.
// The strings are names in the lossless form of filename.h.
bool naturalLess(const QString &a, const QString &b);
void sortNatural(QStringList &names);

// The regular files of a folder (links to files count) that the filter admits, hidden files left
// out, in natural order, as lossless names. `ok` is set false when the folder cannot be read.
QStringList listFolderFiles(const QString &folder, const NameFilter &filter, bool *ok = nullptr);

// The visible subfolders of a folder, in natural order.
QStringList listSubfolders(const QString &folder, bool *ok = nullptr);

// Both of the above from one reading of the folder.
struct FolderContents
{
    QStringList files;
    QStringList subfolders;
};
FolderContents listFolder(const QString &folder, const NameFilter &filter, bool *ok = nullptr);
