#include "platform/listing.h"

#include <algorithm>
#include <thread>
#include <cstring>
#include <memory>
#include <dirent.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

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
int digitValue(char16_t unit)
{
    if (unit >= u'0' && unit <= u'9')
        return unit - u'0';
    if (unit >= u'\uFF10' && unit <= u'\uFF19')
        return unit - u'\uFF10';
    return -1;
}

// A full-width Latin letter counts as its half-width one, and case does not count. Case folding
// keeps every unit of the Basic Multilingual Plane inside it, and maps no character to a digit.
char16_t foldedUnit(char16_t unit)
{
    if (unit < 0x80)
        return unit >= u'A' && unit <= u'Z' ? char16_t(unit + (u'a' - u'A')) : unit;
    if ((unit >= u'\uFF21' && unit <= u'\uFF3A') || (unit >= u'\uFF41' && unit <= u'\uFF5A'))
        unit = unit - 0xFF21 + u'A';
    return char16_t(QChar::toCaseFolded(char32_t(unit)));
}

// The collation key of a name as shown, each of its units stored high byte first, so that keys
// compare as bytes (memcmp) in the order of their units: each character folded, each digit
// run as a '0', the count of its digits without leading zeros, and those digits as half-width ones.
// The '0' puts a number, of either width, where a half-width digit stands among the characters,
// and no folded character is a digit, so a number never ties with a character. Equal counts
// line the digits up, so the next parts of two keys start at the same place. A run longer than
// 65,535 digits would not fit its count, but no file name holds one (255 bytes at most).
// Writes at most longestKey(shown) bytes from `out`; returns where the key ends.
char *writeKey(QStringView shown, char *out)
{
    const qsizetype size = shown.size();
    const char16_t *units = shown.utf16();
    const auto append = [&out](char16_t unit) {
        *out++ = char(unit >> 8);
        *out++ = char(unit & 0xFF);
    };
    for (qsizetype i = 0; i < size;) {
        if (digitValue(units[i]) < 0) {
            append(foldedUnit(units[i]));
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < size && digitValue(units[end]) >= 0)
            ++end;
        while (i + 1 < end && digitValue(units[i]) == 0)
            ++i;
        append(u'0');
        append(char16_t(end - i));
        for (; i < end; ++i)
            append(char16_t(u'0' + digitValue(units[i])));
    }
    return out;
}

// A lone digit is the longest part for its length: three units for one.
size_t longestKey(QStringView shown)
{
    return size_t(shown.size()) * 6;
}

std::string keyOf(QStringView shown)
{
    std::string key(longestKey(shown), '\0');
    key.resize(size_t(writeKey(shown, key.data()) - key.data()));
    return key;
}

// Sorts names by the keys of their shown forms; names whose keys tie are ordered by their bytes.
// Keys and names are kept in blocks that never move, so that a folder of any size is gathered
// without copying what it gathered so far, and the keys go before the sorted list is made.
class CollationSort
{
public:
    void add(const QString &name, QStringView shown)
    {
        const size_t longest = longestKey(shown);
        if (m_keyRoom - m_keyUsed < longest) {
            m_keyRoom = std::max(KeyBlockSize, longest);
            m_keyBlocks.push_back(std::make_unique_for_overwrite<char[]>(m_keyRoom));
            m_keyUsed = 0;
        }
        char *start = m_keyBlocks.back().get() + m_keyUsed;
        const size_t length = size_t(writeKey(shown, start) - start);
        m_keyUsed += length;
        if (m_count % NamesPerBlock == 0) {
            m_entryBlocks.emplace_back().reserve(NamesPerBlock);
            m_nameBlocks.emplace_back().reserve(NamesPerBlock);
        }
        m_entryBlocks.back().push_back({start, quint32(length), quint32(m_count)});
        m_nameBlocks.back().append(name);
        ++m_count;
    }

    QStringList sorted()
    {
        std::vector<Entry> entries;
        entries.reserve(m_count);
        for (std::vector<Entry> &block : m_entryBlocks) {
            entries.insert(entries.end(), block.begin(), block.end());
            block = {};
        }
        m_entryBlocks.clear();
        const auto before = [this](const Entry &a, const Entry &b) {
            const int byKey = std::string_view(a.key, a.length).compare(std::string_view(b.key, b.length));
            if (byKey != 0)
                return byKey < 0;
            return bytesOfName(nameAt(a.index)) < bytesOfName(nameAt(b.index));
        };
        // A large folder is sorted in two halves at once, on two cores, then merged.
        if (entries.size() >= ParallelFrom) {
            const auto middle = entries.begin() + std::ptrdiff_t(entries.size() / 2);
            std::thread firstHalf([&] { std::sort(entries.begin(), middle, before); });
            std::sort(middle, entries.end(), before);
            firstHalf.join();
            std::inplace_merge(entries.begin(), middle, entries.end(), before);
        } else {
            std::sort(entries.begin(), entries.end(), before);
        }
        m_keyBlocks.clear();
        m_keyUsed = m_keyRoom = 0;
        QStringList names;
        names.reserve(qsizetype(m_count));
        for (const Entry &entry : entries)
            names.append(std::move(nameAt(entry.index)));
        m_nameBlocks.clear();
        m_count = 0;
        return names;
    }

private:
    static constexpr size_t ParallelFrom = 20000;
    static constexpr size_t KeyBlockSize = 256 * 1024;
    static constexpr size_t NamesPerBlock = 8192;
    struct Entry
    {
        const char *key;
        quint32 length;
        quint32 index;
    };

    QString &nameAt(quint32 index) { return m_nameBlocks[index / NamesPerBlock][index % NamesPerBlock]; }

    std::vector<std::unique_ptr<char[]>> m_keyBlocks;
    size_t m_keyUsed = 0;
    size_t m_keyRoom = 0; // the size of the last block
    std::vector<std::vector<Entry>> m_entryBlocks;
    std::vector<QStringList> m_nameBlocks;
    size_t m_count = 0;
};

} // namespace

bool naturalLess(const QString &a, const QString &b)
{
    const int byKey = keyOf(displayName(a)).compare(keyOf(displayName(b)));
    if (byKey != 0)
        return byKey < 0;
    return bytesOfName(a) < bytesOfName(b);
}

void sortNatural(QStringList &names)
{
    CollationSort sort;
    for (const QString &name : std::as_const(names))
        sort.add(name, displayName(name));
    names = sort.sorted();
}

void sortNatural(QList<FileName> &names)
{
    std::vector<std::string> keys;
    keys.reserve(names.size());
    std::vector<qsizetype> order(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        keys.push_back(keyOf(names.at(i).display()));
        order[size_t(i)] = i;
    }
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int byKey = keys[size_t(a)].compare(keys[size_t(b)]);
        if (byKey != 0)
            return byKey < 0;
        return names.at(a).bytes() < names.at(b).bytes();
    });
    QList<FileName> sorted;
    sorted.reserve(names.size());
    for (const qsizetype i : order)
        sorted.append(std::move(names[i]));
    names = std::move(sorted);
}

ExpectedNames::ExpectedNames(qsizetype count)
{
    size_t size = 16;
    while (size < size_t(count) * 2)
        size *= 2;
    m_slots.assign(size, nullptr);
}

void ExpectedNames::add(const QString &name)
{
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = qHash(name) & mask;; slot = (slot + 1) & mask) {
        if (!m_slots[slot]) {
            m_slots[slot] = &name;
            return;
        }
        if (*m_slots[slot] == name)
            return;
    }
}

const QString *ExpectedNames::find(const QString &name) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = qHash(name) & mask; m_slots[slot]; slot = (slot + 1) & mask) {
        if (*m_slots[slot] == name)
            return m_slots[slot];
    }
    return nullptr;
}

namespace {

// Reads a folder once, keeping its regular files (links followed) that the filter admits, its
// folders, or both.
FolderContents readFolder(const QString &folder, const NameFilter *fileFilter, bool wantFolders, bool *ok,
                          const ExpectedNames *expected)
{
    const QByteArray path = bytesOfName(folder);
    DIR *dir = ::opendir(path.constData());
    if (ok)
        *ok = dir != nullptr;
    if (!dir)
        return {};
    CollationSort files;
    CollationSort folders;
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
        if (isFile ? !fileFilter : !(isFolder && wantFolders))
            continue;
        QString name = nameFromBytes(QByteArrayView(entry->d_name, qsizetype(std::strlen(entry->d_name))));
        if (const QString *known = expected ? expected->find(name) : nullptr)
            name = *known;
        const QString shown = displayName(name);
        if (isFolder)
            folders.add(name, shown);
        else if (fileFilter->matches(shown))
            files.add(name, shown);
    }
    ::closedir(dir);
    return FolderContents{files.sorted(), folders.sorted()};
}

} // namespace

QStringList listFolderFiles(const QString &folder, const NameFilter &filter, bool *ok, const ExpectedNames *expected)
{
    return readFolder(folder, &filter, false, ok, expected).files;
}

QStringList listSubfolders(const QString &folder, bool *ok)
{
    return readFolder(folder, nullptr, true, ok, nullptr).subfolders;
}

FolderContents listFolder(const QString &folder, const NameFilter &filter, bool *ok, const ExpectedNames *expected)
{
    return readFolder(folder, &filter, true, ok, expected);
}
