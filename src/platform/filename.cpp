#include "platform/filename.h"

#include <QHash>
#include <QStringList>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence that starts at `at` (its code point in `codePoint`),
// or 0. Overlong forms, encoded surrogates and code points past U+10FFFF are not valid.
int utf8Sequence(QByteArrayView bytes, qsizetype at, char32_t &codePoint)
{
    const auto lead = static_cast<unsigned char>(bytes.at(at));
    int length;
    char32_t smallest;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        smallest = 0x80;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        smallest = 0x800;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        smallest = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes.at(at + i));
        if (!isContinuation(byte))
            return 0;
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// Converts with iconv; nothing when a byte or character has no counterpart in the other encoding.
// `lenient` (into UTF-8 only) instead writes U+FFFD for each such byte and goes on, so that one bad
// byte does not hide the rest.
std::optional<QByteArray> convert(const char *to, const char *from, QByteArrayView input, bool lenient = false)
{
    iconv_t converter = ::iconv_open(to, from);
    if (converter == iconv_t(-1))
        return std::nullopt;
    QByteArray output(input.size() * 4 + 16, Qt::Uninitialized);
    char *in = const_cast<char *>(input.data());
    size_t inLeft = size_t(input.size());
    char *out = output.data();
    size_t outLeft = size_t(output.size());
    size_t converted;
    while ((converted = ::iconv(converter, &in, &inLeft, &out, &outLeft)) == size_t(-1) && lenient && errno != E2BIG) {
        ++in;
        --inLeft;
        std::memcpy(out, "\xEF\xBF\xBD", 3);
        out += 3;
        outLeft -= 3;
    }
    const bool finished = converted != size_t(-1) && ::iconv(converter, nullptr, nullptr, &out, &outLeft) != size_t(-1);
    ::iconv_close(converter);
    // glibc counts characters it could only approximate as irreversible: those are refused too.
    if (!finished || (!lenient && (converted != 0 || inLeft != 0)))
        return std::nullopt;
    output.truncate(out - output.data());
    return output;
}

// The characters of a CP932 name, read as Windows reads them: NEC row 13, the NEC-selected and
// the IBM extensions included. Several of their characters have two or three codes, and a
// conversion back writes only one of them, so a name is kept by its bytes, never by its text.
std::optional<QString> cp932Text(const QByteArray &bytes)
{
    const std::optional<QByteArray> utf8 = convert("UTF-8", "CP932", bytes);
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

bool isCp932Lead(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The rows whose characters have another code too: NEC row 13 and the two extensions.
bool hasTwinCodes(unsigned char lead)
{
    return lead == 0x87 || (lead >= 0xED && lead <= 0xEE) || (lead >= 0xFA && lead <= 0xFC);
}

// Calls `take` with each character of CP932 `bytes` and the bytes that code it, in order. Every
// CP932 character is one UTF-16 unit, so `text`, the decoded bytes, walks along unit by unit.
template<typename Take>
void forEachCp932Character(const QByteArray &bytes, QStringView text, Take take)
{
    qsizetype at = 0;
    for (qsizetype unit = 0; unit < text.size() && at < bytes.size(); ++unit) {
        const int length = isCp932Lead(static_cast<unsigned char>(bytes.at(at))) ? 2 : 1;
        take(text.at(unit), QByteArrayView(bytes).sliced(at, std::min<qsizetype>(length, bytes.size() - at)));
        at += length;
    }
}

} // namespace

// Asked of every name that goes to a system call: a plain scan, the pair check only for a unit
// in the escapes' range.
bool hasEscapedBytes(QStringView name)
{
    const char16_t *units = name.utf16();
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (units[i] >= 0xDC80 && units[i] <= 0xDCFF && !(i > 0 && QChar::isHighSurrogate(units[i - 1])))
            return true;
    }
    return false;
}

bool isEscapedByte(QStringView name, qsizetype at)
{
    const char16_t unit = name.at(at).unicode();
    // The low half of a surrogate pair may fall in the same range; it follows its high half.
    return unit >= 0xDC80 && unit <= 0xDCFF && !(at > 0 && name.at(at - 1).isHighSurrogate());
}

QString nameFromBytes(QByteArrayView bytes)
{
    // Never more units than bytes: only a sequence of four bytes gives two.
    QString name(bytes.size(), Qt::Uninitialized);
    char16_t *const begin = reinterpret_cast<char16_t *>(name.data());
    char16_t *out = begin;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes.at(i));
        if (byte < 0x80) {
            *out++ = byte;
            ++i;
            continue;
        }
        char32_t codePoint;
        const int length = utf8Sequence(bytes, i, codePoint);
        if (length == 0) {
            *out++ = char16_t(EscapeBase + byte);
            ++i;
            continue;
        }
        if (codePoint < 0x10000) {
            *out++ = char16_t(codePoint);
        } else {
            *out++ = QChar::highSurrogate(codePoint);
            *out++ = QChar::lowSurrogate(codePoint);
        }
        i += length;
    }
    name.truncate(out - begin);
    return name;
}

QByteArray bytesOfName(QStringView name)
{
    if (!hasEscapedBytes(name))
        return name.toUtf8();
    QByteArray bytes;
    bytes.reserve(name.size() * 3);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isEscapedByte(name, i))
            continue;
        bytes += name.sliced(runStart, i - runStart).toUtf8();
        if (i < name.size())
            bytes += char(name.at(i).unicode() - EscapeBase);
        runStart = i + 1;
    }
    return bytes;
}

void writeBytesOfName(QStringView name, QByteArray &into)
{
    // Reused buffers keep their room: tens of thousands of names go to system calls in a batch.
    into.resize(name.size() * 3);
    char *out = into.data();
    const char16_t *units = name.utf16();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = units[i];
        if (unit < 0x80) {
            *out++ = char(unit);
        } else if (unit < 0x800) {
            *out++ = char(0xC0 | (unit >> 6));
            *out++ = char(0x80 | (unit & 0x3F));
        } else if (!QChar::isSurrogate(unit)) {
            *out++ = char(0xE0 | (unit >> 12));
            *out++ = char(0x80 | ((unit >> 6) & 0x3F));
            *out++ = char(0x80 | (unit & 0x3F));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < name.size() && QChar::isLowSurrogate(units[i + 1])) {
            const char32_t codePoint = QChar::surrogateToUcs4(unit, units[++i]);
            *out++ = char(0xF0 | (codePoint >> 18));
            *out++ = char(0x80 | ((codePoint >> 12) & 0x3F));
            *out++ = char(0x80 | ((codePoint >> 6) & 0x3F));
            *out++ = char(0x80 | (codePoint & 0x3F));
        } else if (isEscapedByte(name, i)) {
            *out++ = char(unit - EscapeBase);
        } else {
            // A lone surrogate that stands for no byte: as the general conversion writes it.
            into = bytesOfName(name);
            return;
        }
    }
    into.truncate(out - into.data());
}

FileName FileName::fromBytes(const QByteArray &bytes)
{
    FileName result;
    result.m_bytes = bytes;
    result.m_text = nameFromBytes(bytes);
    if (!hasEscapedBytes(result.m_text))
        return result;
    if (const std::optional<QString> text = cp932Text(bytes)) {
        result.m_text = *text;
        result.m_encoding = NameEncoding::Cp932;
    } else {
        result.m_encoding = NameEncoding::Bytes;
    }
    return result;
}

std::optional<FileName> FileName::fromText(const QString &text, NameEncoding encoding)
{
    if (encoding != NameEncoding::Cp932)
        return fromBytes(bytesOfName(text));
    if (hasEscapedBytes(text))
        return std::nullopt;
    const std::optional<QByteArray> bytes = convert("CP932", "UTF-8", text.toUtf8());
    if (!bytes)
        return std::nullopt;
    return fromBytes(*bytes);
}

std::optional<FileName> FileName::withText(const QString &text) const
{
    if (text == m_text)
        return *this;
    std::optional<FileName> written = fromText(text, m_encoding);
    if (!written || m_encoding != NameEncoding::Cp932 || written->m_encoding != NameEncoding::Cp932)
        return written;
    // A character with twin codes keeps the codes this name gives it: its first occurrence in the
    // new text takes the code of its first occurrence here, and so on; more take the last.
    QHash<QChar, QList<QByteArrayView>> codes;
    forEachCp932Character(m_bytes, m_text, [&](QChar character, QByteArrayView code) {
        if (code.size() == 2 && hasTwinCodes(static_cast<unsigned char>(code.front())))
            codes[character].append(code);
    });
    if (codes.isEmpty())
        return written;
    QHash<QChar, qsizetype> used;
    QByteArray bytes;
    bytes.reserve(written->m_bytes.size());
    forEachCp932Character(written->m_bytes, written->m_text, [&](QChar character, QByteArrayView code) {
        const auto own = codes.constFind(character);
        if (own == codes.cend()) {
            bytes += code;
            return;
        }
        qsizetype &next = used[character];
        bytes += own->at(std::min(next++, own->size() - 1));
    });
    return fromBytes(bytes);
}

QString FileName::display() const
{
    // Only a name no encoding explains holds escaped bytes.
    if (m_encoding != NameEncoding::Bytes)
        return m_text;
    QString shown;
    shown.reserve(m_text.size() + 16);
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        if (isEscapedByte(m_text, i))
            shown += QStringLiteral("\\x") + QString::number(m_text.at(i).unicode() - EscapeBase, 16).toUpper();
        else
            shown += m_text.at(i);
    }
    return shown;
}

QString displayName(const QString &name)
{
    if (!hasEscapedBytes(name))
        return name;
    return FileName::fromName(name).display();
}

QString displayPath(const QString &path)
{
    if (!hasEscapedBytes(path))
        return path;
    QStringList parts = path.split(QLatin1Char('/'));
    for (QString &part : parts)
        part = displayName(part);
    return parts.join(QLatin1Char('/'));
}

QString lookAlikeAmong(const QStringList &entries, const QString &name, const QString &except, bool foldCase)
{
    const QString key = nameKey(name, foldCase);
    const QString shown = nameKey(displayName(name), foldCase);
    for (const QString &entry : entries) {
        if (entry != except && nameKey(entry, foldCase) != key && nameKey(displayName(entry), foldCase) == shown)
            return entry;
    }
    return QString();
}

QString decodeCp932(QByteArrayView bytes)
{
    const std::optional<QByteArray> utf8 = convert("UTF-8", "CP932", bytes, true);
    return utf8 ? QString::fromUtf8(*utf8) : QString::fromLatin1(bytes);
}
