#include "platform/listing.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

NameFilter::NameFilter(const QString &pattern)
    : m_pattern(pattern)
{
    const QStringList pieces = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (pieces.isEmpty()) {
        m_all = true;
        return;
    }
    for (const QString &piece : pieces) {
        if (piece == QLatin1String("*.*") || piece == QLatin1String("*")) {
            m_all = true;
            return;
        }
        m_expressions.append(QRegularExpression(
            QRegularExpression::wildcardToRegularExpression(piece),
            QRegularExpression::CaseInsensitiveOption));
    }
}

bool NameFilter::matches(const QString &name) const
{
    if (m_all)
        return true;
    for (const QRegularExpression &expression : m_expressions) {
        if (expression.match(name).hasMatch())
            return true;
    }
    return false;
}

namespace {

qsizetype digitRunEnd(const QString &s, qsizetype from)
{
    while (from < s.size() && s.at(from).unicode() >= '0' && s.at(from).unicode() <= '9')
        ++from;
    return from;
}

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// Compares digit runs by value: fewer significant digits is smaller; equal values compare equal.
int compareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == QLatin1Char('0'))
        a = a.mid(1);
    while (b.size() > 1 && b.front() == QLatin1Char('0'))
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

int naturalCompare(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a.at(i)) && isAsciiDigit(b.at(j))) {
            const qsizetype endA = digitRunEnd(a, i);
            const qsizetype endB = digitRunEnd(b, j);
            const int byNumber = compareNumbers(QStringView(a).mid(i, endA - i), QStringView(b).mid(j, endB - j));
            if (byNumber != 0)
                return byNumber;
            i = endA;
            j = endB;
            continue;
        }
        const char32_t ca = QChar::toCaseFolded(a.at(i).unicode());
        const char32_t cb = QChar::toCaseFolded(b.at(j).unicode());
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

} // namespace

bool naturalLess(const QString &a, const QString &b)
{
    const int natural = naturalCompare(a, b);
    if (natural != 0)
        return natural < 0;
    return a < b;
}

void sortNatural(QStringList &names)
{
    std::sort(names.begin(), names.end(), naturalLess);
}

namespace {

// Reads a folder once; `wantFolders` picks folders, otherwise regular files (links followed).
QStringList readFolder(const QString &folder, bool wantFolders, const NameFilter *filter, bool *ok)
{
    QStringList names;
    const QByteArray path = QFile::encodeName(folder);
    DIR *dir = ::opendir(path.constData());
    if (ok)
        *ok = dir != nullptr;
    if (!dir)
        return names;
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        bool isFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(fd, entry->d_name, &st, 0) != 0)
                continue;
            isFolder = S_ISDIR(st.st_mode);
            isFile = S_ISREG(st.st_mode);
        }
        if (wantFolders ? !isFolder : !isFile)
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        if (filter && !filter->matches(name))
            continue;
        names.append(name);
    }
    ::closedir(dir);
    sortNatural(names);
    return names;
}

} // namespace

QStringList listFolderFiles(const QString &folder, const NameFilter &filter, bool *ok)
{
    return readFolder(folder, false, &filter, ok);
}

QStringList listSubfolders(const QString &folder, bool *ok)
{
    return readFolder(folder, true, nullptr, ok);
}
