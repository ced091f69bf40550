#include "platform/profilefile.h"

#include "platform/filename.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// `readable` turns false when the file exists but cannot be read.
QStringList readLines(const QString &path, FsResult *readable = nullptr)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        const int error = fd < 0 ? errno : EIO;
        if (fd >= 0)
            ::close(fd);
        if (readable && error != ENOENT)
            *readable = FsResult::failure(error);
        return {};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (readable)
            *readable = FsResult::failure(file.errorString());
        return {};
    }
    QString text = decodeProfileText(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Returns the section name when the line opens a section.
bool sectionOf(const QString &line, QString *name)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(QLatin1Char('[')))
        return false;
    const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
    if (close < 0)
        return false;
    *name = trimmed.mid(1, close - 1).trimmed();
    return true;
}

bool keyOf(const QString &line, QString *key, QString *value)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')))
        return false;
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0)
        return false;
    *key = line.left(equals).trimmed();
    if (value) {
        QString v = line.mid(equals + 1).trimmed();
        if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\''))
            && v.back() == v.front())
            v = v.mid(1, v.size() - 2);
        *value = v;
    }
    return true;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString decodeProfileText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return decodeCp932(bytes);
}

ProfileFile::ProfileFile(const QString &path)
    : m_path(path)
{
}

QString ProfileFile::read(const QString &section, const QString &key) const
{
    bool inSection = false;
    for (const QString &line : readLines(m_path)) {
        QString name;
        if (sectionOf(line, &name)) {
            inSection = sameName(name, section);
            continue;
        }
        QString lineKey;
        QString value;
        if (inSection && keyOf(line, &lineKey, &value) && sameName(lineKey, key))
            return value;
    }
    return QString();
}

FsResult ProfileFile::write(const QString &section, const QString &key, const QString &value) const
{
    // A line break would end the entry early and start lines of its own: a key or a section.
    static const QRegularExpression lineBreak(QStringLiteral("[\\r\\n]"));
    if (section.contains(lineBreak) || key.contains(lineBreak) || value.contains(lineBreak))
        return FsResult::failure(QStringLiteral("改行を含む値は保存できません。"));
    // Rewriting a file that could not be read would keep only this one key.
    FsResult readable;
    QStringList lines = readLines(m_path, &readable);
    if (!readable.ok())
        return FsResult::failure(QStringLiteral("設定ファイルを読めないため、書き換えていません。%1").arg(readable.reason()));
    const QString entry = key + QLatin1Char('=') + value;
    qsizetype sectionLine = -1;
    qsizetype insertAt = -1;
    bool done = false;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size() && !done; ++i) {
        QString name;
        if (sectionOf(lines[i], &name)) {
            if (inSection)
                break;
            inSection = sameName(name, section);
            if (inSection) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        QString lineKey;
        if (keyOf(lines[i], &lineKey, nullptr)) {
            if (sameName(lineKey, key)) {
                lines[i] = entry;
                done = true;
            }
            insertAt = i + 1;
        }
    }
    if (!done) {
        if (sectionLine < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines.append(QString());
            lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
            lines.append(entry);
        } else {
            lines.insert(insertAt, entry);
        }
    }

    QSaveFile file(m_path);
    // Unbuffered, so that a short write shows here: a buffered one can fail unseen at commit
    // and still replace the old file with a cut one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return FsResult::failure(file.errorString());
    const QByteArray bytes = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    if (file.write(bytes) != bytes.size() || file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return FsResult::failure(reason);
    }
    if (!file.commit())
        return FsResult::failure(file.errorString());
    return FsResult::success();
}
