#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// A file name on Linux is bytes, not text. Every name and path the program hands around is a
// QString in one lossless form: the bytes read as UTF-8, with each byte that is no part of a
// valid UTF-8 sequence standing as the lone surrogate U+DC80 + (byte - 0x80). Two names that
// differ in any byte are two different strings, and the string gives back the very bytes.
QString nameFromBytes(QByteArrayView bytes);
QByteArray bytesOfName(QStringView name);
// The same bytes, written into a buffer that keeps its room from one name to the next.
void writeBytesOfName(QStringView name, QByteArray &into);
// Whether the unit at `at` stands for a byte that is no part of valid UTF-8.
bool isEscapedByte(QStringView name, qsizetype at);
// True when any unit of the name is such an escaped byte.
bool hasEscapedBytes(QStringView name);

// The encoding a name was read in, and the one a batch writes its new name in.
enum class NameEncoding {
    Utf8,  // valid UTF-8, the system's encoding
    Cp932, // not UTF-8, but CP932 as Windows reads it (unpacked from Windows archives)
    Bytes, // neither: UTF-8 where it is valid, each other byte kept as it is
};

// One file name as the disk holds it: its bytes, its characters, and the encoding that explains them.
class FileName
{
public:
    FileName() = default;
    static FileName fromBytes(const QByteArray &bytes);
    // From the lossless form above.
    static FileName fromName(const QString &name) { return fromBytes(bytesOfName(name)); }
    // `text` written in `encoding`, or nothing when the encoding has no bytes for one of its characters.
    static std::optional<FileName> fromText(const QString &text, NameEncoding encoding);
    // `text` written as this name is: in its encoding, each character that has several codes in
    // CP932 in the code this name gives it. This name's own text gives back its very bytes.
    std::optional<FileName> withText(const QString &text) const;

    const QByteArray &bytes() const { return m_bytes; }
    // The characters the rules act on; a byte no encoding explains stays a lone surrogate.
    const QString &text() const { return m_text; }
    NameEncoding encoding() const { return m_encoding; }
    QString name() const { return nameFromBytes(m_bytes); }
    // The text for the eye: each byte no encoding explains as "\xHH", so that no two names look alike.
    QString display() const;

private:
    QByteArray m_bytes;
    QString m_text;
    NameEncoding m_encoding = NameEncoding::Utf8;
};

// What the user sees of a name or a path given in the lossless form; a path shows each of its
// folders decoded on its own, since folders unpacked from one archive may hold CP932 names.
QString displayName(const QString &name);
// The characters of CP932 text (a settings file of the original program); each byte that is no
// part of CP932 stands as U+FFFD.
QString decodeCp932(QByteArrayView bytes);
QString displayPath(const QString &path);

// What a name is compared by in a folder: the name itself, or its case folded where the folder's
// filesystem takes two spellings for one name.
inline QString nameKey(const QString &name, bool foldCase)
{
    return foldCase ? name.toCaseFolded() : name;
}

// Among `entries`, a name other than `except` that shows as `name` does (case folded where the
// filesystem folds it) but is another name, in other bytes: a UTF-8 and a CP932 spelling of one
// text, which nobody could tell apart. Empty when there is none.
QString lookAlikeAmong(const QStringList &entries, const QString &name, const QString &except, bool foldCase);
