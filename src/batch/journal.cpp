#include "batch/journal.h"

#include "batch/lineroom.h"
#include "platform/filename.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <iterator>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char Magic[] = "mivot batch journal";
// Version 3 records each file's size and time and the folder's filesystem. Version 2 writes each
// byte of a name that is not valid UTF-8 as an escape; version 1 held UTF-8 only, which the same
// reading takes as it is. Neither has stamps: their files are found by id alone.
constexpr char Version[] = "3";
constexpr char UnstampedVersions[][2] = {"2", "1"};

constexpr char BackMarker[] = "phase 2";
constexpr char UndoMarker[] = "undo";
constexpr char CompleteMarker[] = "complete";
constexpr char StrandedMarker[] = "stranded";

QByteArray native(const QString &path)
{
    return bytesOfName(path);
}

QString temporaryPathOf(const QString &journalPath)
{
    return journalPath + QStringLiteral(".new");
}

bool needsEscape(unsigned char byte)
{
    return byte < 0x20 || byte == 0x7f || byte == '\\';
}

void appendHex(QByteArray &out, unsigned char byte)
{
    static constexpr char Hex[] = "0123456789abcdef";
    out += "\\x";
    out += Hex[byte >> 4];
    out += Hex[byte & 0xf];
}

void appendEscapedUtf8(QByteArray &out, const QByteArray &utf8)
{
    if (std::none_of(utf8.cbegin(), utf8.cend(), [](char c) { return needsEscape(static_cast<unsigned char>(c)); })) {
        out += utf8;
        return;
    }
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (!needsEscape(byte))
            out += c;
        else if (byte == '\\')
            out += "\\\\";
        else if (byte == '\t')
            out += "\\t";
        else if (byte == '\n')
            out += "\\n";
        else if (byte == '\r')
            out += "\\r";
        else
            appendHex(out, byte);
    }
}

// Names may hold any byte but "/" and NUL; the ones that would break a line or a field, other
// control characters and bytes that are not valid UTF-8 are written as escapes, so that the
// journal stays readable text and gives back every name byte for byte.
void appendEscaped(QByteArray &out, const QString &name)
{
    // Most names hold no byte outside UTF-8: their bytes go through one buffer kept for them all.
    if (!std::any_of(name.cbegin(), name.cend(), [](QChar unit) { return unit.unicode() >= 0xDC80 && unit.unicode() <= 0xDCFF; })) {
        thread_local QByteArray bytes;
        writeBytesOfName(name, bytes);
        appendEscapedUtf8(out, bytes);
        return;
    }
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isEscapedByte(name, i))
            continue;
        appendEscapedUtf8(out, QStringView(name).sliced(runStart, i - runStart).toUtf8());
        if (i < name.size())
            appendHex(out, static_cast<unsigned char>(name.at(i).unicode() - 0xDC00));
        runStart = i + 1;
    }
}

void appendNumber(QByteArray &out, quint64 number)
{
    char digits[24];
    const auto converted = std::to_chars(std::begin(digits), std::end(digits), number);
    out.append(digits, converted.ptr - digits);
}

// Most names hold neither a byte outside UTF-8 nor one that is escaped: their bytes are written
// as they are.
bool plainBytes(const QString &name, QByteArray &bytes)
{
    if (std::any_of(name.cbegin(), name.cend(), [](QChar unit) { return unit.unicode() >= 0xDC80 && unit.unicode() <= 0xDCFF; }))
        return false;
    writeBytesOfName(name, bytes);
    return std::none_of(bytes.cbegin(), bytes.cend(), [](char c) { return needsEscape(static_cast<unsigned char>(c)); });
}

// Any line, escaped as it needs.
void appendFileLine(QByteArray &out, const JournalFile &file)
{
    out += "file\t";
    appendNumber(out, file.id.device);
    out += '\t';
    appendNumber(out, file.id.inode);
    out += '\t';
    appendNumber(out, quint64(file.stamp.size));
    out += '\t';
    appendNumber(out, quint64(std::max<qint64>(file.stamp.modifiedNs, 0)));
    out += '\t';
    appendEscaped(out, file.oldName);
    out += '\t';
    appendEscaped(out, file.newName);
    out += '\n';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool unescape(QByteArrayView field, QString &text)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (++i >= field.size())
            return false;
        switch (field.at(i)) {
        case '\\': bytes += '\\'; break;
        case 't': bytes += '\t'; break;
        case 'n': bytes += '\n'; break;
        case 'r': bytes += '\r'; break;
        case 'x': {
            if (i + 2 >= field.size())
                return false;
            const int high = hexValue(field.at(i + 1));
            const int low = hexValue(field.at(i + 2));
            if (high < 0 || low < 0)
                return false;
            bytes += char(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    text = nameFromBytes(bytes);
    return true;
}

bool toNumber(QByteArrayView field, quint64 &number)
{
    if (field.isEmpty() || field.size() > 20)
        return false;
    for (const char c : field) {
        if (c < '0' || c > '9')
            return false;
    }
    bool ok = false;
    number = field.toULongLong(&ok);
    return ok;
}

QList<QByteArrayView> splitLines(QByteArrayView text)
{
    QList<QByteArrayView> parts;
    qsizetype start = 0;
    for (qsizetype end = text.indexOf('\n'); end >= 0; end = text.indexOf('\n', start)) {
        parts.append(text.sliced(start, end - start));
        start = end + 1;
    }
    parts.append(text.sliced(start));
    return parts;
}

QList<QByteArrayView> splitFields(QByteArrayView line)
{
    QList<QByteArrayView> parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == '\t') {
            parts.append(line.sliced(start, i - start));
            start = i + 1;
        }
    }
    parts.append(line.sliced(start));
    return parts;
}

// The checksums a check line may name: the one written, and the one older journals hold.
constexpr struct {
    const char *tag;
    QCryptographicHash::Algorithm algorithm;
} Checksums[] = {{"blake2b-256", QCryptographicHash::Blake2b_256}, {"sha256", QCryptographicHash::Sha256}};

QByteArray checkLineOf(qsizetype size, qsizetype checksum, const QByteArray &digest)
{
    return "check\t" + QByteArray::number(size) + '\t' + Checksums[checksum].tag + ':' + digest.toHex() + '\n';
}

// BLAKE2b: a plan of 100,000 files is checked several times faster than with SHA-256.
QByteArray checkLine(QByteArrayView plan, qsizetype checksum = 0)
{
    return checkLineOf(plan.size(), checksum, QCryptographicHash::hash(plan, Checksums[checksum].algorithm));
}

// The check line the plan should have, by the checksum that `line` names.
QByteArray expectedCheckLine(QByteArrayView plan, QByteArrayView line)
{
    for (qsizetype i = 0; i < qsizetype(std::size(Checksums)); ++i) {
        if (line.contains(QByteArray('\t' + QByteArray(Checksums[i].tag) + ':')))
            return checkLine(plan, i);
    }
    return checkLine(plan);
}

FsResult writeAll(int fd, const QByteArray &data)
{
    const char *at = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, at, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return FsResult::failure(errno);
        }
        at += written;
        left -= written;
    }
    return FsResult::success();
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).path();
}

// The reasons a journal is not read, as the start-up message gives them.
QString cutShort()
{
    return QStringLiteral("記録が途中で切れています");
}

QString changed()
{
    return QStringLiteral("記録が書き換えられています");
}

QString malformed()
{
    return QStringLiteral("記録の形式が正しくありません");
}

// The plan's lines after the version line: the five header fields, then the files.
bool readPlan(const QList<QByteArrayView> &lines, Journal &journal, bool stamped)
{
    auto field = [&](qsizetype index, QByteArrayView key) -> QByteArrayView {
        const QByteArrayView line = lines.at(index);
        if (!line.startsWith(key) || line.size() <= key.size() || line.at(key.size()) != '\t')
            return QByteArrayView();
        return line.sliced(key.size() + 1);
    };
    const qsizetype Header = stamped ? 6 : 5;
    const qsizetype at = Header - 5; // the filesystem line, when there is one, comes before the holding folder
    if (lines.size() < Header)
        return false;
    quint64 count = 0;
    const QList<QByteArrayView> filesystem = stamped ? splitFields(field(3, "filesystem")) : QList<QByteArrayView>{"0", "stable"};
    if (!unescape(field(1, "folder"), journal.folder) || journal.folder.isEmpty()
        || !toNumber(field(2, "device"), journal.folderDevice)
        || filesystem.size() != 2 || !toNumber(filesystem.at(0), journal.filesystem.type)
        || (filesystem.at(1) != "stable" && filesystem.at(1) != "renumbered")
        || !unescape(field(3 + at, "holding"), journal.holdingFolder) || journal.holdingFolder.isEmpty()
        || !toNumber(field(4 + at, "files"), count) || count != quint64(lines.size() - Header))
        return false;
    journal.filesystem.stableIds = filesystem.at(1) == "stable";
    journal.stamped = stamped;
    journal.files.reserve(qsizetype(count));
    for (qsizetype i = Header; i < lines.size(); ++i) {
        const QList<QByteArrayView> parts = splitFields(lines.at(i));
        JournalFile file;
        quint64 size = 0;
        quint64 modified = 0;
        const qsizetype names = stamped ? 5 : 3;
        if (parts.size() != names + 2 || parts.at(0) != "file" || !toNumber(parts.at(1), file.id.device)
            || !toNumber(parts.at(2), file.id.inode) || (stamped && (!toNumber(parts.at(3), size) || !toNumber(parts.at(4), modified)))
            || !unescape(parts.at(names), file.oldName) || !unescape(parts.at(names + 1), file.newName)
            || file.oldName.isEmpty() || file.newName.isEmpty())
            return false;
        file.stamp.id = file.id;
        file.stamp.size = qint64(size);
        file.stamp.modifiedNs = qint64(modified);
        journal.files.append(file);
    }
    return true;
}

// The markers after the plan, up to the first line that is not one: what a power cut leaves
// after the last complete line (a marker cut short, zero bytes, garbage) says nothing, and the
// markers are only hints beside the sealed plan.
void readMarkers(QByteArrayView text, Journal &journal)
{
    for (qsizetype end = text.indexOf('\n'); end >= 0; end = text.indexOf('\n')) {
        const QByteArrayView line = text.first(end);
        text = text.sliced(end + 1);
        if (line == BackMarker)
            journal.backStarted = true;
        else if (line == UndoMarker)
            journal.undoStarted = true;
        else if (line == CompleteMarker)
            journal.complete = true;
        else if (line == StrandedMarker)
            journal.stranded = true;
        else
            return;
    }
}

} // namespace

QString journalPathOf(const QString &programFolder)
{
    return joinPath(programFolder, QStringLiteral(".xxxxxxx.journal"));
}

JournalWriter::JournalWriter(Sink sink)
    : m_sink(std::move(sink))
    , m_hash(Checksums[0].algorithm)
{
    m_piece.reserve(PieceSize + 1024);
}

void JournalWriter::head(const Journal &journal, qsizetype files)
{
    m_piece += Magic;
    m_piece += ' ';
    m_piece += Version;
    m_piece += "\nfolder\t";
    appendEscaped(m_piece, journal.folder);
    m_piece += "\ndevice\t";
    m_piece += QByteArray::number(journal.folderDevice);
    m_piece += "\nfilesystem\t";
    m_piece += QByteArray::number(journal.filesystem.type);
    m_piece += journal.filesystem.stableIds ? "\tstable" : "\trenumbered";
    m_piece += "\nholding\t";
    appendEscaped(m_piece, journal.holdingFolder);
    m_piece += "\nfiles\t";
    m_piece += QByteArray::number(files);
    m_piece += '\n';
}

void JournalWriter::file(const JournalFile &file)
{
    if (plainBytes(file.oldName, m_oldBytes) && plainBytes(file.newName, m_newBytes)) {
        const quint64 numbers[] = {file.id.device, file.id.inode, quint64(file.stamp.size),
                                   quint64(std::max<qint64>(file.stamp.modifiedNs, 0))};
        LineRoom line(m_piece, 5 + 4 * (LineRoom::NumberBytes + 1) + m_oldBytes.size() + 1 + m_newBytes.size() + 1);
        line << QByteArrayView("file");
        for (const quint64 number : numbers) {
            line << '\t';
            line.number(number);
        }
        line << '\t' << QByteArrayView(m_oldBytes) << '\t' << QByteArrayView(m_newBytes) << '\n';
    } else {
        appendFileLine(m_piece, file);
    }
    if (m_piece.size() >= PieceSize)
        pass();
}

bool JournalWriter::finish()
{
    pass();
    return m_ok && m_sink(checkLineOf(m_size, 0, m_hash.result()));
}

void JournalWriter::pass()
{
    if (m_piece.isEmpty())
        return;
    m_hash.addData(m_piece);
    m_size += m_piece.size();
    m_ok = m_ok && m_sink(m_piece);
    m_piece.clear();
}

QByteArray journalText(const Journal &journal)
{
    QByteArray text;
    JournalWriter writer([&text](const QByteArray &piece) {
        text += piece;
        return true;
    });
    writer.head(journal, journal.files.size());
    for (const JournalFile &file : journal.files)
        writer.file(file);
    writer.finish();
    return text;
}

bool readJournal(const QByteArray &text, Journal &journal, QString &reason)
{
    journal = Journal();
    const QByteArrayView all(text);
    const qsizetype firstEnd = all.indexOf('\n');
    const QByteArrayView first = firstEnd < 0 ? all : all.first(firstEnd);
    const QByteArrayView magic(Magic);
    if (!first.startsWith(magic) || first.size() <= magic.size() || first.at(magic.size()) != ' ') {
        reason = firstEnd < 0 && magic.startsWith(first) ? cutShort() : QStringLiteral("作業の記録ではありません");
        return false;
    }
    const QByteArrayView version = first.sliced(magic.size() + 1);
    const bool stamped = version == Version;
    if (!stamped && std::none_of(std::begin(UnstampedVersions), std::end(UnstampedVersions),
                                 [&](const char *old) { return version == old; })) {
        reason = QStringLiteral("この版の記録は読めません（%1）").arg(QString::fromUtf8(first));
        return false;
    }

    // No name holds a raw line break, so the check line is the first line that starts so.
    const qsizetype check = all.indexOf("\ncheck\t");
    if (check < 0) {
        reason = cutShort();
        return false;
    }
    const QByteArrayView plan = all.first(check + 1);
    const qsizetype checkEnd = all.indexOf('\n', check + 1);
    if (checkEnd < 0) {
        reason = cutShort();
        return false;
    }
    const QByteArrayView line = all.sliced(check + 1, checkEnd - check);
    if (line != expectedCheckLine(plan, line)) {
        reason = changed();
        return false;
    }

    const QList<QByteArrayView> lines = splitLines(plan.chopped(1));
    if (!readPlan(lines, journal, stamped)) {
        journal = Journal();
        reason = malformed();
        return false;
    }
    readMarkers(all.sliced(checkEnd + 1), journal);
    return true;
}

FsResult syncFolder(const QString &folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FsResult::failure(errno);
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    return synced == 0 ? FsResult::success() : FsResult::failure(error);
}

void discardUnsealedJournal(const QString &programFolder)
{
    ::unlink(native(temporaryPathOf(journalPathOf(programFolder))).constData());
}

FsResult removeJournal(const QString &journalPath)
{
    if (::unlink(native(journalPath).constData()) != 0)
        return FsResult::failure(errno);
    return syncFolder(folderOf(journalPath));
}

FsResult setJournalAside(FileSystem &fileSystem, const QString &journalPath, const QString &tag, QString *asidePath)
{
    const QString base = journalPath + QLatin1Char('.') + tag + QLatin1Char('-')
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    FsResult moved;
    for (int n = 1; n <= 99; ++n) {
        const QString candidate = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        moved = fileSystem.move(journalPath, candidate);
        if (moved.ok()) {
            if (asidePath)
                *asidePath = candidate;
            syncFolder(folderOf(journalPath));
            return moved;
        }
        if (moved.error != EEXIST)
            break;
    }
    return moved;
}

BatchJournal::BatchJournal(FileSystem &fileSystem, const QString &programFolder)
    : m_fs(fileSystem)
    , m_programFolder(programFolder)
    , m_path(journalPathOf(programFolder))
{
}

BatchJournal::~BatchJournal()
{
    closeFile();
}

FsResult BatchJournal::planned(const TwoPhaseMove &batch)
{
    auto refusal = [&](const QString &what, const QString &path, const FsResult &result) {
        return FsResult::failure(QStringLiteral("%1\n%2\n%3").arg(what, path, result.reason()));
    };
    // Only a batch of this run that stranded files leaves its journal behind (the start-up
    // recovery clears or keeps any other); it moves aside for this batch's record, and the next
    // start tries it again.
    if (m_fs.exists(m_path)) {
        const FsResult aside = setJournalAside(m_fs, m_path, QStringLiteral("stranded"), nullptr);
        if (!aside.ok())
            return refusal(QStringLiteral("前回の作業の記録を別の名前にできません。"), m_path, aside);
    }
    const QList<PlannedMove> &moves = batch.moves();
    // A batch without files moves nothing of its own: only leftovers, which no record names.
    if (moves.isEmpty())
        return FsResult::success();

    Journal journal;
    journal.folder = batch.folder();
    journal.folderDevice = m_fs.fileId(batch.folder()).device;
    journal.filesystem = m_fs.filesystemKind(batch.folder());
    journal.holdingFolder = batch.holdingFolder();
    const QList<FileStamp> &stamps = batch.plannedFiles();
    for (qsizetype i = 0; i < moves.size(); ++i) {
        if (!stamps.at(i).id.valid())
            return refusal(QStringLiteral("ファイルが見つかりません。"), joinPath(batch.folder(), moves.at(i).oldName), FsResult::failure(ENOENT));
    }
    const FsResult written = write([&](JournalWriter &writer) {
        writer.head(journal, moves.size());
        for (qsizetype i = 0; i < moves.size(); ++i)
            writer.file({moves.at(i).oldName, moves.at(i).newName, stamps.at(i).id, stamps.at(i)});
    });
    if (!written.ok())
        return refusal(QStringLiteral("作業の記録を書き込めません。"), m_path, written);
    m_lastIndex = int(moves.size()) - 1;
    return written;
}

// Written whole beside the journal, on disk, then renamed into place: a journal is either
// absent or complete, never half written.
FsResult BatchJournal::write(const std::function<void(JournalWriter &)> &compose)
{
    const QString temporary = temporaryPathOf(m_path);
    const QByteArray temporaryName = native(temporary);
    const int fd = ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return FsResult::failure(errno);
    FsResult result;
    JournalWriter writer([&](const QByteArray &piece) {
        result = writeAll(fd, piece);
        return result.ok();
    });
    compose(writer);
    writer.finish();
    if (result.ok() && ::fsync(fd) != 0)
        result = FsResult::failure(errno);
    if (!result.ok() || ::rename(temporaryName.constData(), native(m_path).constData()) != 0) {
        if (result.ok())
            result = FsResult::failure(errno);
        ::close(fd);
        ::unlink(temporaryName.constData());
        return result;
    }
    result = syncFolder(m_programFolder);
    if (!result.ok()) {
        ::close(fd);
        ::unlink(native(m_path).constData());
        return result;
    }
    m_fd = fd;
    return result;
}

// Markers are hints, written without waiting for the disk: a recovery checks every file by its
// id and trusts no marker that the files contradict.
void BatchJournal::mark(const char *marker)
{
    if (m_fd < 0)
        return;
    writeAll(m_fd, QByteArray(marker) + '\n');
}

void BatchJournal::moving(const BatchMove &move)
{
    if (move.step == BatchStep::Back && !m_backMarked) {
        m_backMarked = true;
        mark(BackMarker);
    } else if ((move.step == BatchStep::UndoBack || move.step == BatchStep::UndoOut) && !m_undoMarked) {
        m_undoMarked = true;
        mark(UndoMarker);
    }
}

void BatchJournal::moved(const BatchMove &move, const FsResult &result)
{
    if (move.step == BatchStep::Back && move.index == m_lastIndex && result.ok())
        mark(CompleteMarker);
}

// Whether changes to the folder reach the disk no later than the removal of the journal that
// follows them: on the journal's own filesystem, where that one commits its changes in order.
bool BatchJournal::ordersWithJournal(const QString &folder)
{
    // ext4, XFS and Btrfs commit their metadata in order; tmpfs keeps nothing over a crash.
    static constexpr quint64 Ordered[] = {0xef53, 0x58465342, 0x9123683e, 0x01021994};
    const quint64 type = m_fs.filesystemKind(folder).type;
    return std::find(std::begin(Ordered), std::end(Ordered), type) != std::end(Ordered)
        && m_fs.sameFilesystem(folder, m_programFolder);
}

void BatchJournal::finished(const BatchReport &report)
{
    if (m_fd < 0)
        return;
    if (report.outcome == BatchOutcome::Stranded) {
        mark(StrandedMarker);
        ::fsync(m_fd);
        closeFile();
        return;
    }
    closeFile();
    // The files' new places must be on disk before the record of their old ones goes.
    if (!ordersWithJournal(report.folder) || !ordersWithJournal(report.holdingFolder)) {
        syncFolder(report.folder);
        syncFolder(report.holdingFolder);
    }
    // Not waited for: a journal that outlives a crash, or that cannot be removed, does no harm,
    // since the next start finds every file where this batch left it and drops the journal
    // without moving anything.
    ::unlink(native(m_path).constData());
}

void BatchJournal::closeFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}
