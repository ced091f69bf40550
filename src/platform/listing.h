#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The file list's name filter: ";"-separated wildcards, matched without regard to case.
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

// The one collation of every listing: digit runs compare as numbers, letters without regard to
// case, and names that still tie are ordered by code point.
bool naturalLess(const QString &a, const QString &b);
void sortNatural(QStringList &names);

// The regular files of a folder (links to files count) that the filter admits, hidden files left
// out, in natural order. `ok` is set false when the folder cannot be read.
QStringList listFolderFiles(const QString &folder, const NameFilter &filter, bool *ok = nullptr);

// The visible subfolders of a folder, in natural order.
QStringList listSubfolders(const QString &folder, bool *ok = nullptr);
