#include "platform/listing.h"


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

// The value of a digit, half- or full-width, or -1.
int digitValue(QChar c)
{
    const char16_t unit = c.unicode();
    if (unit >= u'0' && unit <= u'9')
        return unit - u'0';
    if (unit >= u'\uFF10' && unit <= u'\uFF19')
        return unit - u'\uFF10';
    return -1;
}

qsizetype digitRunEnd(QStringView s, qsizetype from)
{
    while (from < s.size() && digitValue(s.at(from)) >= 0)
        ++from;
    return from;
}

// Compares digit runs by value: fewer significant digits is smaller; equal values compare equal,
// whatever their width.
int compareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && digitValue(a.front()) == 0)
        a = a.mid(1);
    while (b.size() > 1 && digitValue(b.front()) == 0)
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const int difference = digitValue(a.at(i)) - digitValue(b.at(i));
        if (difference != 0)
            return difference < 0 ? -1 : 1;
    }
    return 0;
}

// A full-width Latin letter counts as its half-width one, and case does not count.
char32_t foldedLetter(QChar c)
{
    char16_t unit = c.unicode();
    if ((unit >= u'\uFF21' && unit <= u'\uFF3A') || (unit >= u'\uFF41' && unit <= u'\uFF5A'))
        unit = unit - 0xFF21 + u'A';
    return QChar::toCaseFolded(char32_t(unit));
}

int naturalCompare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (digitValue(a.at(i)) >= 0 && digitValue(b.at(j)) >= 0) {
            const qsizetype endA = digitRunEnd(a, i);
            const qsizetype endB = digitRunEnd(b, j);
            const int byNumber = compareNumbers(a.mid(i, endA - i), b.mid(j, endB - j));
            if (byNumber != 0)
                return byNumber;
            i = endA;
            j = endB;
            continue;
        }
        const char32_t ca = foldedLetter(a.at(i));
        const char32_t cb = foldedLetter(b.at(j));
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

bool collatesBefore(const FileName &a, const FileName &b)
{
    const int natural = naturalCompare(a.display(), b.display());
    if (natural != 0)
        return natural < 0;
    return a.bytes() < b.bytes();
}

} // namespace

bool naturalLess(const QString &a, const QString &b)
{
    return collatesBefore(FileName::fromName(a), FileName::fromName(b));
}

void sortNatural(QStringList &names)
{
    QList<FileName> decoded;
    decoded.reserve(names.size());
    for (const QString &name : std::as_const(names))
        decoded.append(FileName::fromName(name));
    sortNatural(decoded);
    for (qsizetype i = 0; i < decoded.size(); ++i)
        names[i] = decoded.at(i).name();
}

void sortNatural(QList<FileName> &names)
{
    std::sort(names.begin(), names.end(), collatesBefore);
}

namespace {

// Reads a folder once; `wantFolders` picks folders, otherwise regular files (links followed).
QStringList readFolder(const QString &folder, bool wantFolders, const NameFilter *filter, bool *ok)
{
    QList<FileName> found;
    const QByteArray path = bytesOfName(folder);
    DIR *dir = ::opendir(path.constData());
    if (ok)
        *ok = dir != nullptr;
    if (!dir)
        return {};
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
        FileName name = FileName::fromBytes(QByteArray(entry->d_name));
        if (filter && !filter->matches(name.display()))
            continue;
        found.append(std::move(name));
    }
    ::closedir(dir);
    sortNatural(found);
    QStringList names;
    names.reserve(found.size());
    for (const FileName &name : std::as_const(found))
        names.append(name.name());
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
