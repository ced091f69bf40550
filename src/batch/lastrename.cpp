#include "batch/lastrename.h"

#include "batch/batchmessage.h"
#include "batch/journal.h"
#include "platform/filename.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <functional>
#include <optional>

namespace {

constexpr char Magic[] = "mivot last rename 2";
// The record as 2.00 wrote it: names percent-encoded, a checksum without the byte count.
constexpr char FirstMagic[] = "mivot last rename 1";

template<typename Number>
bool toNumber(QByteArrayView field, Number &number)
{
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), number);
    return error == std::errc() && end == field.data() + field.size() && !field.isEmpty();
}

// The text a first-version record seals, up to its check line.
std::optional<QByteArrayView> firstVersionBody(QByteArrayView text)
{
    const qsizetype check = text.lastIndexOf("\ncheck\t", text.size() - 2);
    if (check < 0 || !text.endsWith('\n'))
        return std::nullopt;
    const QByteArrayView body = text.first(check + 1);
    if (text.sliced(check + 1) != "check\tblake2b-256:" + QCryptographicHash::hash(body, QCryptographicHash::Blake2b_256).toHex() + '\n')
        return std::nullopt;
    return body;
}

QString changeReason(FileChange change)
{
    switch (change) {
    case FileChange::Missing:
        return QStringLiteral("見つかりません（移動、削除、または名前が変わっています）");
    case FileChange::Replaced:
        return QStringLiteral("別のファイルに置き換えられています");
    case FileChange::Modified:
        return QStringLiteral("内容が変更されています");
    }
    return QString();
}

// The files whose stamps now differ from the record's. Where numbers are handed out anew at each
// mount (FAT), the name, size and time tell alone.
QList<ChangedFile> changedAmong(const LastRename &record, const QList<FileStamp> &stamps, bool stableIds)
{
    QList<ChangedFile> changed;
    for (qsizetype i = 0; i < record.files.size(); ++i) {
        const RenamedFile &file = record.files.at(i);
        const FileStamp &now = stamps.at(i);
        if (!now.exists())
            changed.append({file.name, FileChange::Missing});
        else if (now.type != file.stamp.type || (stableIds && now.id != file.stamp.id))
            changed.append({file.name, FileChange::Replaced});
        else if (!now.sameContentStamp(file.stamp))
            changed.append({file.name, FileChange::Modified});
    }
    return changed;
}

// Checks every file as the engine found it just before the first move, then lets the journal
// record the plan.
class TakeBackGuard : public BatchObserver
{
public:
    TakeBackGuard(FileSystem &fileSystem, const QString &programFolder, const LastRename &record)
        : m_fs(fileSystem)
        , m_record(record)
        , m_journal(fileSystem, programFolder)
    {
    }

    FsResult planned(const BatchMover &batch) override
    {
        // The engine has just looked at every file, in the record's order.
        changed = changedAmong(m_record, batch.plannedFiles(), m_fs.filesystemKind(m_record.folder).stableIds);
        if (!changed.isEmpty())
            return FsResult::failure(changedFilesMessage(m_record, changed));
        return m_journal.planned(batch);
    }
    void moving(const BatchMove &move) override { m_journal.moving(move); }
    void moved(const BatchMove &move, const FsResult &result) override { m_journal.moved(move, result); }
    void finished(const BatchReport &report) override { m_journal.finished(report); }

    QList<ChangedFile> changed;

private:
    FileSystem &m_fs;
    const LastRename &m_record;
    BatchJournal m_journal;
};

FsResult removeRecord(const QString &path)
{
    if (!QFile::exists(path) || QFile::remove(path))
        return FsResult::success();
    return FsResult::failure(QStringLiteral("%1\n%2").arg(path, QFile(path).errorString()));
}

} // namespace

QString lastRenamePathOf(const QString &programFolder)
{
    return joinPath(programFolder, QStringLiteral(".xxxxxxx.last"));
}

namespace {

// One file of a record, as its line needs it, without copies of its names.
struct FileRef
{
    const QString &name;
    const QString &formerName;
    const FileStamp &stamp;
};

// Composes the record in pieces, each handed to `sink`: a record of 100,000 files never stands
// whole in memory.
bool composeRecord(TakeBack direction, const QString &folder, qsizetype count,
                   const std::function<FileRef(qsizetype)> &fileAt, const JournalWriter::Sink &sink)
{
    JournalWriter writer(sink);
    (writer << Magic).endLine();
    (writer << (direction == TakeBack::Undo ? "undo" : "redo")).endLine();
    (writer << "folder\t").name(folder).endLine();
    (writer << "files\t" << count).endLine();
    for (qsizetype i = 0; i < count; ++i) {
        const FileRef file = fileAt(i);
        writer << "file\t" << file.stamp.id.device << '\t' << file.stamp.id.inode << '\t' << file.stamp.type << '\t'
               << file.stamp.size << '\t' << file.stamp.modifiedNs << '\t';
        writer.name(file.name) << '\t';
        writer.name(file.formerName).endLine();
    }
    return writer.finish();
}

auto filesOf(const LastRename &record)
{
    return [&record](qsizetype index) {
        const RenamedFile &file = record.files.at(index);
        return FileRef{file.name, file.formerName, file.stamp};
    };
}

} // namespace

QByteArray lastRenameText(const LastRename &record)
{
    QByteArray text;
    composeRecord(record.direction, record.folder, record.files.size(), filesOf(record), [&text](const QByteArray &piece) {
        text += piece;
        return true;
    });
    return text;
}

bool parseLastRename(const QByteArray &text, LastRename &record)
{
    record = LastRename();
    const bool first = text.startsWith(FirstMagic);
    qsizetype checkEnd = 0;
    QString reason;
    const std::optional<QByteArrayView> body = first ? firstVersionBody(text) : sealedPart(text, checkEnd, reason);
    if (!body || (!first && checkEnd != text.size() - 1))
        return false;
    const auto name = [first](QByteArrayView field, QString &into) {
        if (!first)
            return unescapeName(field, into);
        into = nameFromBytes(QByteArray::fromPercentEncoding(field.toByteArray()));
        return true;
    };
    const QList<QByteArrayView> lines = splitLines(body->chopped(1));
    qsizetype count = 0;
    if (lines.size() < 4 || lines.at(0) != (first ? FirstMagic : Magic) || (lines.at(1) != "undo" && lines.at(1) != "redo")
        || !lines.at(2).startsWith("folder\t") || !name(lines.at(2).sliced(7), record.folder) || record.folder.isEmpty()
        || !lines.at(3).startsWith("files\t") || !toNumber(lines.at(3).sliced(6), count) || count != lines.size() - 4)
        return false;
    record.direction = lines.at(1) == "undo" ? TakeBack::Undo : TakeBack::Redo;
    record.files.reserve(count);
    for (qsizetype i = 4; i < lines.size(); ++i) {
        const QList<QByteArrayView> fields = splitFields(lines.at(i));
        RenamedFile file;
        if (fields.size() != 8 || fields.at(0) != "file" || !toNumber(fields.at(1), file.stamp.id.device)
            || !toNumber(fields.at(2), file.stamp.id.inode) || !toNumber(fields.at(3), file.stamp.type)
            || !toNumber(fields.at(4), file.stamp.size) || !toNumber(fields.at(5), file.stamp.modifiedNs)
            || !name(fields.at(6), file.name) || !name(fields.at(7), file.formerName)
            || file.name.isEmpty() || file.formerName.isEmpty() || !file.stamp.exists())
            return false;
        record.files.append(file);
    }
    return true;
}

bool readLastRename(const QString &programFolder, LastRename &record, QString &problem)
{
    problem.clear();
    QFile file(lastRenamePathOf(programFolder));
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
        return false;
    }
    if (!parseLastRename(file.readAll(), record)) {
        problem = QStringLiteral("記録の形式が正しくありません");
        return false;
    }
    return true;
}

namespace {

// Written whole or not at all; a record that cannot be written takes any older one with it.
FsResult writeRecord(const QString &programFolder, TakeBack direction, const QString &folder, qsizetype count,
                     const std::function<FileRef(qsizetype)> &fileAt)
{
    const QString path = lastRenamePathOf(programFolder);
    if (count == 0)
        return removeRecord(path);
    QSaveFile file(path);
    const auto write = [&file](const QByteArray &piece) { return file.write(piece) == piece.size(); };
    if (!file.open(QIODevice::WriteOnly) || !composeRecord(direction, folder, count, fileAt, write) || !file.commit()) {
        const QString reason = file.errorString();
        removeRecord(path);
        return FsResult::failure(QStringLiteral("%1\n%2").arg(path, reason));
    }
    return FsResult::success();
}

} // namespace

FsResult writeLastRename(const QString &programFolder, const LastRename &record)
{
    return writeRecord(programFolder, record.direction, record.folder, record.files.size(), filesOf(record));
}

FsResult recordLastRename(FileSystem &fileSystem, const QString &programFolder, TakeBack direction,
                          const QString &folder, const QList<PlannedMove> &moves, const QList<FileStamp> &planned)
{
    QList<qsizetype> renamed; // the moves that changed a name
    renamed.reserve(moves.size());
    for (qsizetype i = 0; i < moves.size(); ++i) {
        if (moves.at(i).newName != moves.at(i).oldName)
            renamed.append(i);
    }
    auto renamedFile = [&](qsizetype index, const FileStamp &stamp) {
        const PlannedMove &move = moves.at(renamed.at(index));
        return FileRef{move.newName, move.oldName, stamp};
    };
    // Two files looked at decide whether the plan's stamps still stand for every file, as FAT
    // numbers files by their place and needs each one looked at again.
    if (!renamed.isEmpty() && planned.size() == moves.size()) {
        const qsizetype first = renamed.constFirst();
        const qsizetype last = renamed.constLast();
        if (fileSystem.fileStamps(folder, {moves.at(first).newName, moves.at(last).newName})
            == QList<FileStamp>{planned.at(first), planned.at(last)})
            return writeRecord(programFolder, direction, folder, renamed.size(),
                               [&](qsizetype index) { return renamedFile(index, planned.at(renamed.at(index))); });
    }
    QStringList names;
    names.reserve(renamed.size());
    for (const qsizetype index : std::as_const(renamed))
        names.append(moves.at(index).newName);
    const QList<FileStamp> stamps = fileSystem.fileStamps(folder, names);
    for (qsizetype i = 0; i < stamps.size(); ++i) {
        if (!stamps.at(i).exists()) {
            removeRecord(lastRenamePathOf(programFolder));
            return FsResult::failure(QStringLiteral("%1\n%2").arg(joinPath(folder, names.at(i)), FsResult::failure(ENOENT).reason()));
        }
    }
    return writeRecord(programFolder, direction, folder, renamed.size(),
                       [&](qsizetype index) { return renamedFile(index, stamps.at(index)); });
}

namespace {

QStringList namesNow(const LastRename &record)
{
    QStringList names;
    names.reserve(record.files.size());
    for (const RenamedFile &file : record.files)
        names.append(file.name);
    return names;
}

} // namespace

QList<ChangedFile> changedSince(FileSystem &fileSystem, const LastRename &record)
{
    return changedAmong(record, fileSystem.fileStamps(record.folder, namesNow(record)), fileSystem.filesystemKind(record.folder).stableIds);
}

TakeBackResult takeBackLastRename(FileSystem &fileSystem, const QString &programFolder, const LastRename &record,
                                  const NameFilter &filter, const BatchFollower &follow)
{
    TakeBackGuard guard(fileSystem, programFolder, record);
    // Each file gets its former name back byte for byte, whatever its encoding now: a name typed
    // whole in the single rename went from CP932 to UTF-8, and its redo must write UTF-8 again.
    BatchObserver *observer = follow ? &follow(guard) : &guard;
    BatchMover batch(fileSystem,
                     BatchPlan(fileSystem, BatchRequest{record.folder, namesNow(record), workFolderOf(programFolder), filter,
                                                        [&record](int index, const QString &) {
                                                            return NewName::exactly(record.files.at(index).formerName);
                                                        }}),
                     observer);
    TakeBackResult result{batch.run(), guard.changed, FsResult::success()};
    if (result.report.outcome == BatchOutcome::Done) {
        const TakeBack opposite = record.direction == TakeBack::Undo ? TakeBack::Redo : TakeBack::Undo;
        // A rename keeps a file's number, size and time on most filesystems, and then the stamps
        // just checked stand for every file; two files looked at decide, as FAT numbers files by
        // their place and needs each one looked at again.
        const auto keptStamps = [&] {
            const RenamedFile &first = record.files.constFirst();
            const RenamedFile &last = record.files.constLast();
            return fileSystem.fileStamps(record.folder, {first.formerName, last.formerName})
                == QList<FileStamp>{first.stamp, last.stamp};
        };
        if (!record.files.isEmpty() && keptStamps()) {
            LastRename taken{opposite, record.folder, {}};
            taken.files.reserve(record.files.size());
            for (const RenamedFile &file : record.files)
                taken.files.append({file.formerName, file.name, file.stamp});
            result.recorded = writeLastRename(programFolder, taken);
        } else {
            result.recorded = recordLastRename(fileSystem, programFolder, opposite, record.folder, batch.moves(), batch.plannedFiles());
        }
    }
    return result;
}

QString takeBackText(const LastRename &record)
{
    QString text = QStringLiteral("%1\n%2 ファイル").arg(displayPath(record.folder)).arg(record.files.size());
    for (const RenamedFile &file : record.files)
        text += QLatin1Char('\n') + shownName(file.name) + QStringLiteral(" → ") + shownName(file.formerName);
    return text;
}

QString changedFilesMessage(const LastRename &record, const QList<ChangedFile> &changed)
{
    QString text = record.direction == TakeBack::Undo
        ? QStringLiteral("次のファイルはリネームの後に変わったため、元に戻せません。ファイルは一つも移動していません。\n")
        : QStringLiteral("次のファイルは元に戻した後に変わったため、やり直せません。ファイルは一つも移動していません。\n");
    QStringList lines;
    for (const ChangedFile &file : changed)
        lines.append(QStringLiteral("・%1（%2）").arg(shownName(file.name), changeReason(file.change)));
    return text + displayPath(record.folder) + QLatin1Char('\n') + firstLines(lines);
}
