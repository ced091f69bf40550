#include "platform/listing.h"

#include "main/namesplit.h"
#include "platform/filesystem.h"

#include <algorithm>
#include <string>
#include <string_view>
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

// Half-width katakana count as their full-width forms, a voiced mark joined to its letter.
// Returns how many units of `units` it folded (none when `units` starts with no such letter).
qsizetype foldHalfWidthKana(const char16_t *units, qsizetype size, char16_t &folded)
{
    if (size == 0 || units[0] < 0xFF65 || units[0] > 0xFF9F)
        return 0;
    const qsizetype taken = size > 1 && (units[1] == 0xFF9E || units[1] == 0xFF9F) ? 2 : 1;
    const QString full = QString::fromUtf16(units, taken).normalized(QString::NormalizationForm_KC);
    if (full.size() != 1) {
        folded = full.isEmpty() ? units[0] : full.at(0).unicode();
        return 1;
    }
    folded = full.at(0).unicode();
    return taken;
}

// The collation key of a name as shown, each of its units written as UTF-8 writes a character
// of that value, so that keys compare as bytes in the order of their units and a name of Latin
// letters keeps one byte for each: each character folded, each digit run as a '0', the count of
// its digits without leading zeros, and those digits as half-width ones. The '0' puts a number,
// of either width, where a half-width digit stands among the characters, and no folded character
// is a digit, so a number never ties with a character. Equal counts line the digits up, so the
// next parts of two keys start at the same place. A run longer than 65,535 digits would not fit
// its count, but no file name holds one (255 bytes at most).
// The part before the extension comes first and ends with a zero byte, which no other part
// writes: a name comes before its copies and longer variants ("1.JPG" before "1 (2).JPG").
std::string keyOf(QStringView shown)
{
    std::string key;
    key.reserve(size_t(shown.size()) * 3 + 1);
    const auto append = [&key](char16_t unit) {
        if (unit < 0x80) {
            key += char(unit);
        } else if (unit < 0x800) {
            key += char(0xC0 | (unit >> 6));
            key += char(0x80 | (unit & 0x3F));
        } else {
            key += char(0xE0 | (unit >> 12));
            key += char(0x80 | ((unit >> 6) & 0x3F));
            key += char(0x80 | (unit & 0x3F));
        }
    };
    const qsizetype size = shown.size();
    const char16_t *units = shown.utf16();
    // A name that starts with its only "." sorts as all stem.
    const qsizetype dot = extensionDot(shown);
    const qsizetype stemEnd = dot > 0 ? dot : size;
    for (qsizetype i = 0; i < size;) {
        if (i == stemEnd) {
            key += '\0';
            ++i;
            continue;
        }
        const qsizetype partEnd = i < stemEnd ? stemEnd : size;
        char16_t kana;
        if (const qsizetype folded = foldHalfWidthKana(units + i, partEnd - i, kana)) {
            append(kana);
            i += folded;
            continue;
        }
        if (digitValue(units[i]) < 0) {
            append(foldedUnit(units[i]));
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < partEnd && digitValue(units[end]) >= 0)
            ++end;
        while (i + 1 < end && digitValue(units[i]) == 0)
            ++i;
        key += '0';
        append(char16_t(end - i));
        for (; i < end; ++i)
            key += char('0' + digitValue(units[i]));
    }
    if (stemEnd == size)
        key += '\0';
    return key;
}

// Sorts names by the keys of their shown forms; names whose keys tie are ordered by their bytes.
class CollationSort
{
public:
    void add(const QString &name, QStringView shown)
    {
        const std::string key = keyOf(shown);
        m_entries.push_back({m_keys.size(), quint32(key.size()), quint32(m_names.size())});
        m_keys += key;
        m_names.append(name);
    }

    QStringList sorted()
    {
        const auto keyAt = [this](const Entry &entry) { return std::string_view(m_keys).substr(entry.keyAt, entry.length); };
        std::sort(m_entries.begin(), m_entries.end(), [&](const Entry &a, const Entry &b) {
            const int byKey = keyAt(a).compare(keyAt(b));
            if (byKey != 0)
                return byKey < 0;
            return bytesOfName(m_names.at(a.index)) < bytesOfName(m_names.at(b.index));
        });
        QStringList sorted;
        sorted.reserve(m_names.size());
        for (const Entry &entry : m_entries)
            sorted.append(std::move(m_names[entry.index]));
        m_entries.clear();
        m_keys.clear();
        m_names.clear();
        return sorted;
    }

private:
    // The keys stand one after another in one string, so that a large folder's keys cost no
    // allocation each.
    struct Entry
    {
        size_t keyAt;
        quint32 length;
        quint32 index;
    };
    std::string m_keys;
    std::vector<Entry> m_entries;
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

namespace {

// Reads a folder once, keeping its regular files (links followed) that the filter admits, its
// folders, or both.
FolderContents readFolder(const QString &folder, const NameFilter *fileFilter, bool wantFolders, bool *ok)
{
    CollationSort files;
    CollationSort folders;
    const FsResult read = readFolderEntries(folder, true, [&](QByteArrayView bytes, EntryKind kind) {
        if (bytes.startsWith('.') || (kind == EntryKind::File ? !fileFilter : !(kind == EntryKind::Folder && wantFolders)))
            return;
        const QString name = nameFromBytes(bytes);
        const QString shown = displayName(name);
        if (kind == EntryKind::Folder)
            folders.add(name, shown);
        else if (fileFilter->matches(shown))
            files.add(name, shown);
    });
    if (ok)
        *ok = read.ok();
    if (!read.ok())
        return {};
    return FolderContents{files.sorted(), folders.sorted()};
}

} // namespace

QStringList listFolderFiles(const QString &folder, const NameFilter &filter, bool *ok)
{
    return readFolder(folder, &filter, false, ok).files;
}

QStringList listSubfolders(const QString &folder, bool *ok)
{
    return readFolder(folder, nullptr, true, ok).subfolders;
}

FolderContents listFolder(const QString &folder, const NameFilter &filter, bool *ok)
{
    return readFolder(folder, &filter, true, ok);
}
