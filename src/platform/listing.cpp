#include "platform/listing.h"

#include <algorithm>
#include <array>
#include <thread>
#include <cstring>
#include <memory>
#include <new>
#include <dirent.h>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <utility>
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

// The collation key of a name as shown, each of its units written as UTF-8 writes a character
// of that value, so that keys compare as bytes (memcmp) in the order of their units and a name of
// Latin letters keeps one byte for each: each character folded, each digit run as a '0', the
// count of its digits without leading zeros, and those digits as half-width ones. The '0' puts a
// number, of either width, where a half-width digit stands among the characters, and no folded
// character is a digit, so a number never ties with a character. Equal counts line the digits
// up, so the next parts of two keys start at the same place. A run longer than 65,535 digits
// would not fit its count, but no file name holds one (255 bytes at most).
// Writes at most longestKey(shown) bytes from `out`; returns where the key ends.
char *writeKey(QStringView shown, char *out)
{
    const qsizetype size = shown.size();
    const char16_t *units = shown.utf16();
    const auto append = [&out](char16_t unit) {
        if (unit < 0x80) {
            *out++ = char(unit);
        } else if (unit < 0x800) {
            *out++ = char(0xC0 | (unit >> 6));
            *out++ = char(0x80 | (unit & 0x3F));
        } else {
            *out++ = char(0xE0 | (unit >> 12));
            *out++ = char(0x80 | ((unit >> 6) & 0x3F));
            *out++ = char(0x80 | (unit & 0x3F));
        }
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
        *out++ = '0';
        append(char16_t(end - i));
        for (; i < end; ++i)
            *out++ = char('0' + digitValue(units[i]));
    }
    return out;
}

// A lone digit is the longest part for its length: three bytes for one, as many as a unit
// beyond U+07FF takes.
size_t longestKey(QStringView shown)
{
    return size_t(shown.size()) * 3;
}

std::string keyOf(QStringView shown)
{
    std::string key(longestKey(shown), '\0');
    key.resize(size_t(writeKey(shown, key.data()) - key.data()));
    return key;
}

// Room taken from the system for one listing and given back whole when it ends, so that the keys
// of a large folder leave no holes in the heap, whatever the program held before. It grows without
// copying; what it holds may move as it grows.
class SystemPages
{
public:
    SystemPages() = default;
    ~SystemPages() { release(); }
    SystemPages(const SystemPages &) = delete;
    SystemPages &operator=(const SystemPages &) = delete;

    char *data() const { return m_data; }
    size_t used() const { return m_used; }
    // Where `bytes` more may be written; commit() counts them.
    char *room(size_t bytes)
    {
        if (m_size - m_used < bytes) {
            const size_t wanted = std::max({m_size * 2, m_used + bytes, FirstSize});
            const size_t size = (wanted + PageSize - 1) / PageSize * PageSize;
            void *grown = m_data ? ::mremap(m_data, m_size, size, MREMAP_MAYMOVE)
                                 : ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (grown == MAP_FAILED)
                throw std::bad_alloc();
            m_data = static_cast<char *>(grown);
            m_size = size;
        }
        return m_data + m_used;
    }
    void commit(size_t bytes) { m_used += bytes; }
    void release()
    {
        if (m_data)
            ::munmap(m_data, m_size);
        m_data = nullptr;
        m_used = m_size = 0;
    }

private:
    static constexpr size_t PageSize = 4096;
    static constexpr size_t FirstSize = 16 * 1024;
    char *m_data = nullptr;
    size_t m_used = 0;
    size_t m_size = 0;
};

// Sorts names by the keys of their shown forms; names whose keys tie are ordered by their bytes.
// The keys are sorted where they were gathered and go before the names are put in order.
class CollationSort
{
public:
    void add(const QString &name, QStringView shown)
    {
        char *key = m_keys.room(longestKey(shown));
        const size_t length = size_t(writeKey(shown, key) - key);
        const Entry entry{m_keys.used(), quint32(length), quint32(m_names.size())};
        m_keys.commit(length);
        std::memcpy(m_entries.room(sizeof(Entry)), &entry, sizeof(Entry));
        m_entries.commit(sizeof(Entry));
        m_names.append(name);
    }

    bool empty() const { return m_names.isEmpty(); }

    QStringList sorted()
    {
        const auto [first, last] = sortEntries();
        // The names take their sorted places where they stand: a second list of a large folder
        // would weigh as much again. Each cycle of the order moves round once; a done place
        // points past the end.
        const quint32 done = quint32(m_names.size());
        for (quint32 start = 0; start < done; ++start) {
            if (first[start].index == done)
                continue;
            QString held = std::move(m_names[start]);
            for (quint32 at = start;;) {
                const quint32 from = std::exchange(first[at].index, done);
                if (from == start) {
                    m_names[at] = std::move(held);
                    break;
                }
                m_names[at] = std::move(m_names[from]);
                at = from;
            }
        }
        m_entries.release();
        return std::exchange(m_names, QStringList());
    }

    // Where each name added stands in the sorted list, by the order of adding.
    std::vector<quint32> order()
    {
        const auto [first, last] = sortEntries();
        std::vector<quint32> indices;
        indices.reserve(size_t(last - first));
        for (const Entry *entry = first; entry != last; ++entry)
            indices.push_back(entry->index);
        m_entries.release();
        m_names.clear();
        return indices;
    }

private:
    struct Entry
    {
        size_t keyAt;
        quint32 length;
        quint32 index;
    };

    // Sorts the entries where they stand, and lets the keys go.
    std::pair<Entry *, Entry *> sortEntries()
    {
        Entry *const first = reinterpret_cast<Entry *>(m_entries.data());
        Entry *const last = first + m_entries.used() / sizeof(Entry);
        const char *const keys = m_keys.data();
        const auto before = [&](const Entry &a, const Entry &b) {
            const int byKey = std::string_view(keys + a.keyAt, a.length).compare(std::string_view(keys + b.keyAt, b.length));
            if (byKey != 0)
                return byKey < 0;
            return bytesOfName(m_names.at(a.index)) < bytesOfName(m_names.at(b.index));
        };
        // A large folder is parted around the middle of a sample of its keys, and the two parts are
        // sorted at once, on two cores: nothing is merged, so nothing is copied.
        const size_t count = size_t(last - first);
        if (count >= ParallelFrom) {
            std::array<Entry, 63> sample;
            for (size_t i = 0; i < sample.size(); ++i)
                sample[i] = first[i * (count / sample.size())];
            std::nth_element(sample.begin(), sample.begin() + 31, sample.end(), before);
            const Entry pivot = sample[31];
            Entry *const middle = std::partition(first, last, [&](const Entry &entry) { return before(entry, pivot); });
            std::thread firstPart([&] { std::sort(first, middle, before); });
            std::sort(middle, last, before);
            firstPart.join();
        } else {
            std::sort(first, last, before);
        }
        m_keys.release();
        return {first, last};
    }

    static constexpr size_t ParallelFrom = 20000;

    SystemPages m_keys;
    SystemPages m_entries;
    QStringList m_names;
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
    m_slots.assign(size, 0);
    m_names.reserve(size_t(count));
}

ExpectedNames::~ExpectedNames()
{
    if (m_sorting.joinable())
        m_sorting.join();
}

void ExpectedNames::add(const QString &name)
{
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = qHash(name) & mask;; slot = (slot + 1) & mask) {
        if (m_slots[slot] == 0) {
            m_names.push_back(&name);
            m_slots[slot] = quint32(m_names.size());
            return;
        }
        if (*m_names[m_slots[slot] - 1] == name)
            return;
    }
}

qsizetype ExpectedNames::indexOf(const QString &name) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = qHash(name) & mask; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        if (*m_names[m_slots[slot] - 1] == name)
            return qsizetype(m_slots[slot]) - 1;
    }
    return -1;
}

void ExpectedNames::sortAhead()
{
    m_sortedAhead = true;
    m_sorting = std::thread([this] {
        CollationSort sort;
        for (const QString *name : m_names)
            sort.add(*name, displayName(*name));
        m_order = sort.order();
    });
}

const std::vector<quint32> *ExpectedNames::order() const
{
    if (m_sorting.joinable())
        m_sorting.join();
    return m_sortedAhead ? &m_order : nullptr;
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
    // Expected files in the order sorted ahead, marked as they are met, while no other file is.
    const std::vector<quint32> *order = expected ? expected->order() : nullptr;
    std::vector<bool> met(order ? size_t(expected->size()) : 0);
    qsizetype metCount = 0;
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
        const qsizetype known = expected ? expected->indexOf(name) : -1;
        if (known >= 0)
            name = expected->at(known);
        const QString shown = displayName(name);
        if (isFolder)
            folders.add(name, shown);
        else if (!fileFilter->matches(shown))
            continue;
        else if (known >= 0 && order) {
            met[size_t(known)] = true;
            ++metCount;
        } else {
            files.add(name, shown);
        }
    }
    ::closedir(dir);
    QStringList fileNames;
    if (order && files.empty()) {
        fileNames.reserve(metCount);
        for (const quint32 index : *order) {
            if (met[index])
                fileNames.append(expected->at(index));
        }
    } else {
        for (size_t index = 0; index < met.size(); ++index) {
            if (met[index])
                files.add(expected->at(qsizetype(index)), displayName(expected->at(qsizetype(index))));
        }
        fileNames = files.sorted();
    }
    return FolderContents{std::move(fileNames), folders.sorted()};
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
