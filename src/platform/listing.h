#pragma once

#include "platform/filename.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <thread>
#include <vector>

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
void sortNatural(QList<FileName> &names);

// Names a folder is expected to hold, such as the new names of a batch's files while they wait in
// the holding folder: a listing that meets one of them keeps that string instead of a copy of its
// own. The names must stay as they are, and outlive the set.
class ExpectedNames
{
public:
    explicit ExpectedNames(qsizetype count);
    ~ExpectedNames();
    ExpectedNames(const ExpectedNames &) = delete;
    ExpectedNames &operator=(const ExpectedNames &) = delete;

    void add(const QString &name);
    // Puts the names in the order of listings on a second core while the caller goes on; a listing
    // that then meets no file but expected ones takes that order instead of sorting. No name may
    // be added afterwards.
    void sortAhead();

    qsizetype size() const { return qsizetype(m_names.size()); }
    const QString &at(qsizetype index) const { return *m_names[size_t(index)]; }
    // The index of the expected name equal to `name`, or -1.
    qsizetype indexOf(const QString &name) const;
    // The indices in the order of listings, once sortAhead() is done; null without it.
    const std::vector<quint32> *order() const;

private:
    std::vector<const QString *> m_names;
    std::vector<quint32> m_slots; // open addressing, by index + 1; a power of two, at most half full
    std::vector<quint32> m_order;
    mutable std::thread m_sorting;
    bool m_sortedAhead = false;
};

// The regular files of a folder (links to files count) that the filter admits, hidden files left
// out, in natural order, as lossless names. `ok` is set false when the folder cannot be read.
QStringList listFolderFiles(const QString &folder, const NameFilter &filter, bool *ok = nullptr,
                            const ExpectedNames *expected = nullptr);

// The visible subfolders of a folder, in natural order.
QStringList listSubfolders(const QString &folder, bool *ok = nullptr);

// Both of the above from one reading of the folder.
struct FolderContents
{
    QStringList files;
    QStringList subfolders;
};
FolderContents listFolder(const QString &folder, const NameFilter &filter, bool *ok = nullptr,
                          const ExpectedNames *expected = nullptr);
