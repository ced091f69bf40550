#include "batch/journal.h"

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
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Magic[] = "mivot batch journal";
constexpr char Version[] = "3";
constexpr qsizetype PieceSize = 256 * 1024;

constexpr char BackMarker[] = "phase 2";
constexpr char UndoMarker[] = "undo";
constexpr char CompleteMarker[] = "complete";
constexpr char StrandedMarker[] = "stranded";
constexpr char TokenMarker[] = "token";
constexpr char TimesMarker[] = "rename changes times";
constexpr char EndedMarker[] = "ended";
constexpr char ClaimMarker[] = "claim";
constexpr char LinkMarker[] = "link";

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
    if (!hasEscapedBytes(name)) {
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

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

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

bool unescapeName(QByteArrayView field, QString &text)
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

namespace {

// BLAKE2b: a plan of 100,000 files is checked several times faster than with SHA-256.
constexpr QCryptographicHash::Algorithm Checksum = QCryptographicHash::Blake2b_256;

QByteArray checkLineOf(qsizetype size, const QByteArray &digest)
{
    return "check\t" + QByteArray::number(size) + "\tblake2b-256:" + digest.toHex() + '\n';
}

// Named after the plan's checksum: the token of one batch, which no other batch's journal names.
QString tokenNameOf(QByteArrayView digestHex)
{
    return QStringLiteral(".mivot-batch-") + QString::fromLatin1(digestHex.first(std::min<qsizetype>(16, digestHex.size())));
}

// The line that names a claim or a second name before a move makes it.
QByteArray extraLine(MoveWatcher::Step step, const QByteArray &from, const QByteArray &to)
{
    QByteArray line = step == MoveWatcher::Step::Claim ? ClaimMarker : LinkMarker;
    line += '\t';
    appendEscaped(line, nameFromBytes(from));
    line += '\t';
    appendEscaped(line, nameFromBytes(to));
    line += '\n';
    return line;
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
bool readPlan(const QList<QByteArrayView> &lines, Journal &journal)
{
    auto field = [&](qsizetype index, QByteArrayView key) -> QByteArrayView {
        const QByteArrayView line = lines.at(index);
        if (!line.startsWith(key) || line.size() <= key.size() || line.at(key.size()) != '\t')
            return QByteArrayView();
        return line.sliced(key.size() + 1);
    };
    constexpr qsizetype Header = 6;
    if (lines.size() < Header)
        return false;
    quint64 count = 0;
    const QList<QByteArrayView> filesystem = splitFields(field(3, "filesystem"));
    if (!unescapeName(field(1, "folder"), journal.folder) || journal.folder.isEmpty()
        || !toNumber(field(2, "device"), journal.folderDevice)
        || filesystem.size() != 2 || !toNumber(filesystem.at(0), journal.filesystem.type)
        || (filesystem.at(1) != "stable" && filesystem.at(1) != "renumbered")
        || !unescapeName(field(4, "holding"), journal.holdingFolder) || journal.holdingFolder.isEmpty()
        || !toNumber(field(5, "files"), count) || count != quint64(lines.size() - Header))
        return false;
    journal.filesystem.stableIds = filesystem.at(1) == "stable";
    journal.files.reserve(qsizetype(count));
    for (qsizetype i = Header; i < lines.size(); ++i) {
        const QList<QByteArrayView> parts = splitFields(lines.at(i));
        JournalFile file;
        quint64 size = 0;
        quint64 modified = 0;
        if (parts.size() != 7 || parts.at(0) != "file" || !toNumber(parts.at(1), file.id.device)
            || !toNumber(parts.at(2), file.id.inode) || !toNumber(parts.at(3), size) || !toNumber(parts.at(4), modified)
            || !unescapeName(parts.at(5), file.oldName) || !unescapeName(parts.at(6), file.newName)
            || file.oldName.isEmpty() || file.newName.isEmpty())
            return false;
        file.stamp.id = file.id;
        file.stamp.size = qint64(size);
        file.stamp.modifiedNs = qint64(modified);
        journal.files.append(file);
    }
    return true;
}

bool readExtraLine(QByteArrayView line, Journal &journal)
{
    const QList<QByteArrayView> parts = splitFields(line);
    ExtraNameStep extra;
    if (parts.size() != 3 || (parts.at(0) != ClaimMarker && parts.at(0) != LinkMarker)
        || !unescapeName(parts.at(1), extra.from) || !unescapeName(parts.at(2), extra.to) || extra.from.isEmpty()
        || extra.to.isEmpty())
        return false;
    extra.step = parts.at(0) == ClaimMarker ? MoveWatcher::Step::Claim : MoveWatcher::Step::Link;
    journal.lastExtra = extra;
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
        else if (line == TokenMarker)
            journal.tokenMade = true;
        else if (line == TimesMarker)
            journal.renameChangesTimes = true;
        else if (line == EndedMarker)
            journal.ended = true;
        else if (!readExtraLine(line, journal))
            return;
    }
}

void writeHead(JournalWriter &writer, const Journal &journal, qsizetype files)
{
    (writer << Magic << ' ' << Version).endLine();
    (writer << "folder\t").name(journal.folder).endLine();
    (writer << "device\t" << journal.folderDevice).endLine();
    (writer << "filesystem\t" << journal.filesystem.type << (journal.filesystem.stableIds ? "\tstable" : "\trenumbered")).endLine();
    (writer << "holding\t").name(journal.holdingFolder).endLine();
    (writer << "files\t" << files).endLine();
}

void writeFile(JournalWriter &writer, const JournalFile &file)
{
    writer << "file\t" << file.id.device << '\t' << file.id.inode << '\t' << file.stamp.size << '\t'
           << std::max<qint64>(file.stamp.modifiedNs, 0) << '\t';
    writer.name(file.oldName) << '\t';
    writer.name(file.newName).endLine();
}

} // namespace

QString journalPathOf(const QString &programFolder)
{
    return joinPath(programFolder, QStringLiteral(".xxxxxxx.journal"));
}

JournalWriter::JournalWriter(Sink sink)
    : m_sink(std::move(sink))
    , m_hash(Checksum)
{
    m_piece.reserve(PieceSize + 1024);
}

JournalWriter &JournalWriter::operator<<(QByteArrayView text)
{
    m_piece += text;
    return *this;
}

JournalWriter &JournalWriter::operator<<(char c)
{
    m_piece += c;
    return *this;
}

JournalWriter &JournalWriter::name(const QString &name)
{
    appendEscaped(m_piece, name);
    return *this;
}

void JournalWriter::endLine()
{
    m_piece += '\n';
    if (m_piece.size() >= PieceSize)
        pass();
}

bool JournalWriter::finish()
{
    pass();
    m_digest = m_hash.result();
    return m_ok && m_sink(checkLineOf(m_size, m_digest));
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

std::optional<QByteArrayView> sealedPart(QByteArrayView text, qsizetype &checkEnd, QString &reason)
{
    // No name holds a raw line break, so the check line is the first line that starts so.
    const qsizetype check = text.indexOf("\ncheck\t");
    checkEnd = check < 0 ? -1 : text.indexOf('\n', check + 1);
    if (checkEnd < 0) {
        reason = cutShort();
        return std::nullopt;
    }
    const QByteArrayView sealed = text.first(check + 1);
    if (text.sliced(check + 1, checkEnd - check) != checkLineOf(sealed.size(), QCryptographicHash::hash(sealed, Checksum))) {
        reason = changed();
        return std::nullopt;
    }
    return sealed;
}

QByteArray journalText(const Journal &journal)
{
    QByteArray text;
    JournalWriter writer([&text](const QByteArray &piece) {
        text += piece;
        return true;
    });
    writeHead(writer, journal, journal.files.size());
    for (const JournalFile &file : journal.files)
        writeFile(writer, file);
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
    if (first.sliced(magic.size() + 1) != Version) {
        reason = QStringLiteral("この版の記録は読めません（%1）").arg(QString::fromUtf8(first));
        return false;
    }

    qsizetype checkEnd = 0;
    const std::optional<QByteArrayView> plan = sealedPart(all, checkEnd, reason);
    if (!plan)
        return false;
    const QList<QByteArrayView> lines = splitLines(plan->chopped(1));
    if (!readPlan(lines, journal)) {
        journal = Journal();
        reason = malformed();
        return false;
    }
    const QByteArrayView checkLine = all.sliced(0, checkEnd);
    journal.token = tokenNameOf(checkLine.sliced(checkLine.lastIndexOf(':') + 1));
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

QString tokenPathOf(const Journal &journal)
{
    return joinPath(stagingFolderOf(journal.folder), journal.token);
}

JournalTail::JournalTail(const QString &journalPath)
    : m_fd(::open(native(journalPath).constData(), O_WRONLY | O_APPEND | O_CLOEXEC))
{
}

JournalTail::~JournalTail()
{
    m_watch.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void JournalTail::watchMoves()
{
    if (m_fd >= 0)
        m_watch = std::make_unique<WatchMoves>(static_cast<MoveWatcher &>(*this));
}

void JournalTail::markEnded()
{
    if (m_fd >= 0 && writeAll(m_fd, QByteArray(EndedMarker) + '\n').ok())
        ::fsync(m_fd);
}

void JournalTail::making(Step step, const QByteArray &from, const QByteArray &to)
{
    writeAll(m_fd, extraLine(step, from, to));
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

FsResult BatchJournal::planned(const BatchMover &batch)
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
    if (batch.holdingFolder() == stagingFolderOf(batch.folder()))
        m_staging = batch.holdingFolder();
    journal.folderDevice = m_fs.fileId(batch.folder()).device;
    journal.filesystem = m_fs.filesystemKind(batch.folder());
    journal.holdingFolder = batch.holdingFolder();
    const QList<FileStamp> &stamps = batch.plannedFiles();
    for (qsizetype i = 0; i < moves.size(); ++i) {
        if (!stamps.at(i).id.valid())
            return refusal(QStringLiteral("ファイルが見つかりません。"), joinPath(batch.folder(), moves.at(i).oldName), FsResult::failure(ENOENT));
    }
    // Where the moves commit no earlier than the journal's own name, that name needs no wait of its own.
    const bool ordered = ordersWithJournal(batch.folder()) && ordersWithJournal(batch.holdingFolder());
    const FsResult written = write(
        [&](JournalWriter &writer) {
            writeHead(writer, journal, moves.size());
            for (qsizetype i = 0; i < moves.size(); ++i)
                writeFile(writer, {moves.at(i).oldName, moves.at(i).newName, stamps.at(i).id, stamps.at(i)});
        },
        !ordered);
    if (!written.ok())
        return refusal(QStringLiteral("作業の記録を書き込めません。"), m_path, written);
    m_lastIndex = int(moves.size()) - 1;
    m_watch = std::make_unique<WatchMoves>(static_cast<MoveWatcher &>(*this));
    return written;
}

// Written whole beside the journal, on disk, then renamed into place: a journal is either
// absent or complete, never half written. `syncName`: wait until the new name is on disk too.
FsResult BatchJournal::write(const std::function<void(JournalWriter &)> &compose, bool syncName)
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
    if (!m_staging.isEmpty())
        m_token = joinPath(m_staging, tokenNameOf(writer.digest().toHex()));
    if (result.ok() && ::fsync(fd) != 0)
        result = FsResult::failure(errno);
    if (!result.ok() || ::rename(temporaryName.constData(), native(m_path).constData()) != 0) {
        if (result.ok())
            result = FsResult::failure(errno);
        ::close(fd);
        ::unlink(temporaryName.constData());
        return result;
    }
    if (syncName)
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

void BatchJournal::making(Step step, const QByteArray &from, const QByteArray &to)
{
    if (m_fd >= 0)
        writeAll(m_fd, extraLine(step, from, to));
}

// The token goes into the staging folder, and its marker onto the disk, before the first file
// moves there. Made under a name of its own and renamed, it also tells whether a rename there
// gives a file a new time: a moved file is then known by its size and name alone.
void BatchJournal::makeToken()
{
    const QString path = m_token;
    m_token.clear();
    const QByteArray token = native(path);
    const QByteArray probe = token + ".new";
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const struct timespec past[2] = {{978307200, 0}, {978307200, 0}}; // 2001-01-01
    ::futimens(fd, past);
    ::close(fd);
    struct stat before;
    struct stat after;
    if (::stat(probe.constData(), &before) != 0 || ::rename(probe.constData(), token.constData()) != 0) {
        ::unlink(probe.constData());
        return;
    }
    m_token = path;
    mark(TokenMarker);
    if (::stat(token.constData(), &after) != 0 || after.st_mtim.tv_sec != before.st_mtim.tv_sec
        || after.st_mtim.tv_nsec != before.st_mtim.tv_nsec)
        mark(TimesMarker);
    ::fsync(m_fd);
}

void BatchJournal::moving(const BatchMove &move)
{
    if (move.step == BatchStep::Out && !m_tokenTried && !m_token.isEmpty()) {
        m_tokenTried = true;
        makeToken();
    }
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

// Whether changes to the folder and to the journal's name reach the disk in the order they were
// made (the journal's name before the first move, the moves before the journal's removal): on the
// journal's own filesystem, where that one commits its changes in order.
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
    m_watch.reset();
    if (m_fd < 0)
        return;
    // A token that was never made names nothing.
    if (!m_tokenTried)
        m_token.clear();
    if (report.outcome == BatchOutcome::Stranded) {
        mark(StrandedMarker);
        ::fsync(m_fd);
        closeFile();
        return;
    }
    // The files' new places must be on disk before the record of their old ones goes; while that
    // is not certain, the record stays, and the next start finds every file where it is now. A
    // staging folder already removed has nothing left to write.
    const auto synced = [](const QString &folder) {
        const FsResult result = syncFolder(folder);
        return result.ok() || result.error == ENOENT;
    };
    if ((!ordersWithJournal(report.folder) || !ordersWithJournal(report.holdingFolder))
        && (!synced(report.folder) || !synced(report.holdingFolder))) {
        closeFile();
        return;
    }
    // The token goes once the record says that the batch ended, so that a crash in between does
    // not look like another medium; the staging folder then goes with it when it is empty.
    if (!m_token.isEmpty()) {
        mark(EndedMarker);
        ::fsync(m_fd);
        ::unlink(native(m_token).constData());
        m_fs.removeFolder(m_staging);
    }
    closeFile();
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
