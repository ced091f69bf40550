#include "batch/renamehistory.h"

#include "batch/batchmessage.h"
#include "batch/journal.h"
#include "platform/filename.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <optional>
#include <sys/stat.h>

namespace {

constexpr char Magic[] = "mivot last rename 2";
// The record as 2.00 wrote it: names percent-encoded, a checksum without the byte count.
constexpr char FirstMagic[] = "mivot last rename 1";

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

QString changeReason(FileChange change, bool folder)
{
    switch (change) {
    case FileChange::Missing:
        return QStringLiteral("見つかりません（移動、削除、または名前が変わっています）");
    case FileChange::Replaced:
        return folder ? QStringLiteral("別のフォルダかファイルに置き換えられています") : QStringLiteral("別のファイルに置き換えられています");
    case FileChange::Modified:
        return QStringLiteral("内容が変更されています");
    }
    return QString();
}

// The files whose stamps now differ from the step's. Where numbers are handed out anew at each
// mount (FAT), the name, size and time tell alone. A folder's time and size change whenever a file
// in it does, which leaves its own name as it was: only its number and type tell.
QList<ChangedFile> changedAmong(const RenameStep &step, const QList<FileStamp> &stamps, bool stableIds)
{
    QList<ChangedFile> changed;
    for (qsizetype i = 0; i < step.files.size(); ++i) {
        const RenamedFile &file = step.files.at(i);
        const FileStamp &now = stamps.at(i);
        if (!now.exists())
            changed.append({file.name, FileChange::Missing});
        else if (now.type != file.stamp.type || (stableIds && now.id != file.stamp.id))
            changed.append({file.name, FileChange::Replaced});
        else if (!S_ISDIR(file.stamp.type) && !now.sameContentStamp(file.stamp))
            changed.append({file.name, FileChange::Modified});
    }
    return changed;
}

// Checks every file as the engine found it just before the first move, then lets the journal
// record the plan.
class TakeBackGuard : public BatchObserver
{
public:
    TakeBackGuard(FileSystem &fileSystem, const QString &programFolder, const RenameStep &step)
        : m_fs(fileSystem)
        , m_step(step)
        , m_journal(fileSystem, programFolder)
    {
    }

    FsResult planned(const BatchMover &batch) override
    {
        // The engine has just looked at every file, in the step's order.
        changed = changedAmong(m_step, batch.plannedFiles(), m_fs.filesystemKind(m_step.folder).stableIds);
        if (!changed.isEmpty())
            return FsResult::failure(changedFilesMessage(m_step, changed));
        return m_journal.planned(batch);
    }
    void moving(const BatchMove &move) override { m_journal.moving(move); }
    void moved(const BatchMove &move, const FsResult &result) override { m_journal.moved(move, result); }
    void finished(const BatchReport &report) override { m_journal.finished(report); }

    QList<ChangedFile> changed;

private:
    FileSystem &m_fs;
    const RenameStep &m_step;
    BatchJournal m_journal;
};

FsResult removeRecord(const QString &path)
{
    if (!QFile::exists(path) || QFile::remove(path))
        return FsResult::success();
    return FsResult::failure(QStringLiteral("%1\n%2").arg(path, QFile(path).errorString()));
}

} // namespace

QString renameHistoryPathOf(const QString &programFolder)
{
    return joinPath(programFolder, QStringLiteral(".xxxxxxx.history"));
}

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
using FileAt = std::function<FileRef(qsizetype)>;

// Composes the record in pieces, each handed to `sink`: a record of 100,000 files never stands
// whole in memory.
bool composeRecord(TakeBack direction, const QString &folder, qsizetype count, const FileAt &fileAt,
                   const JournalWriter::Sink &sink)
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

auto filesOf(const RenameStep &step)
{
    return [&step](qsizetype index) {
        const RenamedFile &file = step.files.at(index);
        return FileRef{file.name, file.formerName, file.stamp};
    };
}

} // namespace

QByteArray renameStepText(const RenameStep &step)
{
    QByteArray text;
    composeRecord(step.direction, step.folder, step.files.size(), filesOf(step), [&text](const QByteArray &piece) {
        text += piece;
        return true;
    });
    return text;
}

bool RenameStep::renamesFolder() const
{
    return files.size() == 1 && S_ISDIR(files.constFirst().stamp.type);
}

bool parseRenameStep(const QByteArray &text, RenameStep &step)
{
    step = RenameStep();
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
        || !lines.at(2).startsWith("folder\t") || !name(lines.at(2).sliced(7), step.folder) || step.folder.isEmpty()
        || !lines.at(3).startsWith("files\t") || !toNumber(lines.at(3).sliced(6), count) || count != lines.size() - 4)
        return false;
    step.direction = lines.at(1) == "undo" ? TakeBack::Undo : TakeBack::Redo;
    step.files.reserve(count);
    for (qsizetype i = 4; i < lines.size(); ++i) {
        const QList<QByteArrayView> fields = splitFields(lines.at(i));
        RenamedFile file;
        if (fields.size() != 8 || fields.at(0) != "file" || !toNumber(fields.at(1), file.stamp.id.device)
            || !toNumber(fields.at(2), file.stamp.id.inode) || !toNumber(fields.at(3), file.stamp.type)
            || !toNumber(fields.at(4), file.stamp.size) || !toNumber(fields.at(5), file.stamp.modifiedNs)
            || !name(fields.at(6), file.name) || !name(fields.at(7), file.formerName)
            || file.name.isEmpty() || file.formerName.isEmpty() || !file.stamp.exists()
            || (S_ISDIR(file.stamp.type) && count != 1))
            return false;
        step.files.append(file);
    }
    return true;
}

namespace {

QString unreadable(const QString &path, const QString &reason)
{
    return QStringLiteral("%1\n%2").arg(path, reason);
}

// A record of the history, by its number. Numbers grow with each new rename; the record that
// 2.00 kept is number 0.
struct StepFile
{
    qint64 number;
    QString path;
    qint64 size;
};

QString stepPathOf(const QString &programFolder, qint64 number)
{
    return joinPath(renameHistoryPathOf(programFolder), QStringLiteral("%1.step").arg(number, 8, 10, QLatin1Char('0')));
}

// The records of the history, oldest first; false with the reason when it cannot be read.
bool listSteps(const QString &programFolder, QList<StepFile> &steps, QString &problem)
{
    steps.clear();
    const QFileInfo last(lastRenamePathOf(programFolder));
    if (last.exists())
        steps.append({0, last.filePath(), last.size()});
    const QFileInfo folder(renameHistoryPathOf(programFolder));
    if (!folder.exists())
        return true;
    if (!folder.isDir() || !folder.isReadable()) {
        problem = unreadable(folder.filePath(), FsResult::failure(folder.isDir() ? EACCES : ENOTDIR).reason());
        return false;
    }
    // A record being written has a longer name until it is complete.
    for (const QFileInfo &entry : QDir(folder.filePath()).entryInfoList({QStringLiteral("*.step")}, QDir::Files | QDir::Hidden)) {
        const QString stem = entry.completeBaseName();
        qint64 number = 0;
        if (stem.size() >= 8 && toNumber(QByteArrayView(stem.toLatin1()), number))
            steps.append({number, entry.filePath(), entry.size()});
    }
    std::sort(steps.begin(), steps.end(), [](const StepFile &a, const StepFile &b) { return a.number < b.number; });
    return true;
}

// The direction a record's first lines give, without reading the rest: the history is walked by
// it, and only the step taken is read whole.
std::optional<TakeBack> directionOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = file.read(64).split('\n');
    if (lines.size() < 3 || (lines.at(0) != Magic && lines.at(0) != FirstMagic))
        return std::nullopt;
    if (lines.at(1) == "undo")
        return TakeBack::Undo;
    if (lines.at(1) == "redo")
        return TakeBack::Redo;
    return std::nullopt;
}

bool readStep(const QString &path, RenameStep &step, QString &reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    if (!parseRenameStep(file.readAll(), step)) {
        reason = QStringLiteral("記録の形式が正しくありません");
        return false;
    }
    return true;
}

// Removes the records numbered after `number`.
FsResult cutAfter(const QString &programFolder, qint64 number)
{
    QList<StepFile> steps;
    QString problem;
    if (!listSteps(programFolder, steps, problem))
        return FsResult::failure(problem);
    for (const StepFile &step : std::as_const(steps)) {
        if (step.number > number) {
            if (const FsResult removed = removeRecord(step.path); !removed.ok())
                return removed;
        }
    }
    return FsResult::success();
}

// Written whole or not at all; a record that cannot be written is removed.
FsResult writeRecord(const QString &path, TakeBack direction, const QString &folder, qsizetype count, const FileAt &fileAt)
{
    QSaveFile file(path);
    const auto write = [&file](const QByteArray &piece) { return file.write(piece) == piece.size(); };
    if (!file.open(QIODevice::WriteOnly) || !composeRecord(direction, folder, count, fileAt, write) || !file.commit()) {
        const QString reason = file.errorString();
        removeRecord(path);
        return FsResult::failure(QStringLiteral("%1\n%2").arg(path, reason));
    }
    return FsResult::success();
}

// Makes room for a new rename: takes in the record 2.00 kept, cuts the steps an undo took back
// (and any record after the last step to undo, which cannot be one), and gives the new step's
// number.
FsResult makeRoomForStep(const QString &programFolder, qint64 &number)
{
    const QString folder = renameHistoryPathOf(programFolder);
    if (!QDir().mkpath(folder))
        return FsResult::failure(unreadable(folder, FsResult::failure(QFileInfo(folder).exists() ? ENOTDIR : EACCES).reason()));
    const QString last = lastRenamePathOf(programFolder);
    if (QFileInfo::exists(last) && std::rename(QFile::encodeName(last).constData(), QFile::encodeName(stepPathOf(programFolder, 0)).constData()) != 0)
        return FsResult::failure(unreadable(last, FsResult::failure(errno).reason()));
    QList<StepFile> steps;
    QString problem;
    if (!listSteps(programFolder, steps, problem))
        return FsResult::failure(problem);
    qsizetype kept = steps.size();
    while (kept > 0 && directionOf(steps.at(kept - 1).path) != TakeBack::Undo)
        --kept;
    number = kept > 0 ? steps.at(kept - 1).number + 1 : 1;
    return cutAfter(programFolder, number - 1);
}

// Drops the oldest steps beyond the bound, never the newest.
void keepWithin(const QString &programFolder, const HistoryBound &bound)
{
    QList<StepFile> steps;
    QString problem;
    if (!listSteps(programFolder, steps, problem))
        return;
    qint64 bytes = 0;
    for (const StepFile &step : std::as_const(steps))
        bytes += step.size;
    // A record that cannot be removed now is tried again after the next rename.
    for (qsizetype oldest = 0; steps.size() - oldest > 1 && (steps.size() - oldest > bound.steps || bytes > bound.bytes); ++oldest) {
        removeRecord(steps.at(oldest).path);
        bytes -= steps.at(oldest).size;
    }
}

// Ends the history: after a rename that cannot be recorded, no older step can be taken back in
// its order.
void clearHistory(const QString &programFolder)
{
    removeRecord(lastRenamePathOf(programFolder));
    cutAfter(programFolder, -1);
}

FsResult addStep(const QString &programFolder, const QString &folder, qsizetype count, const FileAt &fileAt,
                 const HistoryBound &bound)
{
    qint64 number = 0;
    FsResult result = makeRoomForStep(programFolder, number);
    if (result.ok())
        result = writeRecord(stepPathOf(programFolder, number), TakeBack::Undo, folder, count, fileAt);
    if (result.ok())
        keepWithin(programFolder, bound);
    return result;
}

using RecordWriter = std::function<FsResult(qsizetype count, const FileAt &fileAt)>;

// Hands the files of the moves just made in `folder`, each found under its new name, to `write`
// as a record's lines; a move that kept its name is left out, and with none left nothing is
// written. A file that is not found fails the record.
FsResult writeMoves(FileSystem &fileSystem, const QString &folder, const QList<PlannedMove> &moves,
                    const QList<FileStamp> &planned, const RecordWriter &write)
{
    QList<qsizetype> renamed; // the moves that changed a name
    renamed.reserve(moves.size());
    for (qsizetype i = 0; i < moves.size(); ++i) {
        if (moves.at(i).newName != moves.at(i).oldName)
            renamed.append(i);
    }
    if (renamed.isEmpty())
        return FsResult::success();
    auto renamedFile = [&](qsizetype index, const FileStamp &stamp) {
        const PlannedMove &move = moves.at(renamed.at(index));
        return FileRef{move.newName, move.oldName, stamp};
    };
    // Two files looked at decide whether the plan's stamps still stand for every file, as FAT
    // numbers files by their place and needs each one looked at again.
    if (planned.size() == moves.size()) {
        const qsizetype first = renamed.constFirst();
        const qsizetype last = renamed.constLast();
        if (fileSystem.fileStamps(folder, {moves.at(first).newName, moves.at(last).newName})
            == QList<FileStamp>{planned.at(first), planned.at(last)})
            return write(renamed.size(), [&](qsizetype index) { return renamedFile(index, planned.at(renamed.at(index))); });
    }
    QStringList names;
    names.reserve(renamed.size());
    for (const qsizetype index : std::as_const(renamed))
        names.append(moves.at(index).newName);
    const QList<FileStamp> stamps = fileSystem.fileStamps(folder, names);
    for (qsizetype i = 0; i < stamps.size(); ++i) {
        if (!stamps.at(i).exists())
            return FsResult::failure(QStringLiteral("%1\n%2").arg(joinPath(folder, names.at(i)), FsResult::failure(ENOENT).reason()));
    }
    return write(renamed.size(), [&](qsizetype index) { return renamedFile(index, stamps.at(index)); });
}

} // namespace

bool nextStep(const QString &programFolder, TakeBack direction, HistoryStep &found, QString &problem)
{
    found = HistoryStep();
    problem.clear();
    QList<StepFile> steps;
    if (!listSteps(programFolder, steps, problem))
        return false;
    // Undo walks from the newest step back, redo from the oldest forward; each takes the first
    // step of its direction that reads whole.
    const bool undo = direction == TakeBack::Undo;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const StepFile &step = steps.at(undo ? steps.size() - 1 - i : i);
        const std::optional<TakeBack> stepDirection = directionOf(step.path);
        if (stepDirection && *stepDirection != direction)
            continue;
        QString reason = QStringLiteral("記録の形式が正しくありません");
        if (stepDirection && readStep(step.path, found.step, reason) && found.step.direction == direction) {
            found.number = step.number;
            found.path = step.path;
            return true;
        }
        if (problem.isEmpty())
            problem = unreadable(step.path, reason);
    }
    found = HistoryStep();
    return false;
}

FsResult recordInHistory(FileSystem &fileSystem, const QString &programFolder, const QString &folder,
                         const QList<PlannedMove> &moves, const QList<FileStamp> &planned, const HistoryBound &bound)
{
    const FsResult recorded = writeMoves(fileSystem, folder, moves, planned, [&](qsizetype count, const FileAt &fileAt) {
        return addStep(programFolder, folder, count, fileAt, bound);
    });
    if (!recorded.ok())
        clearHistory(programFolder);
    return recorded;
}

namespace {

QStringList namesNow(const RenameStep &step)
{
    QStringList names;
    names.reserve(step.files.size());
    for (const RenamedFile &file : step.files)
        names.append(file.name);
    return names;
}

} // namespace

QList<ChangedFile> changedSince(FileSystem &fileSystem, const RenameStep &step)
{
    return changedAmong(step, fileSystem.fileStamps(step.folder, namesNow(step)), fileSystem.filesystemKind(step.folder).stableIds);
}

namespace {

// A folder's step: the folder looked at again, then one move of it that never replaces anything.
// The batch engine moves files only, through its holding folder; a folder's name changes in place.
TakeBackResult moveFolderBack(FileSystem &fileSystem, const RenameStep &step)
{
    const RenamedFile &entry = step.files.constFirst();
    TakeBackResult result{BatchReport(), changedSince(fileSystem, step), FsResult::success()};
    result.report.folder = step.folder;
    if (!result.changed.isEmpty())
        return result;
    // A name that another entry shows in other bytes is taken as surely as the same bytes.
    const QString taken = QStringLiteral("同じ名前のものがすでにあります");
    const QString lookAlike = lookAlikeAmong(fileSystem.entryNames(step.folder), entry.formerName, entry.name, fileSystem.ignoresCase(step.folder));
    if (!lookAlike.isEmpty()) {
        result.report.problems.append({BatchProblem::MoveRefused, entry.name, entry.formerName,
                                       taken + QStringLiteral("。") + lookAlikeSentence(entry.formerName, lookAlike)});
        return result;
    }
    const FsResult moved = fileSystem.move(joinPath(step.folder, entry.name), joinPath(step.folder, entry.formerName));
    if (!moved.ok()) {
        result.report.problems.append({BatchProblem::MoveRefused, entry.name, entry.formerName, moved.error == EEXIST ? taken : moved.reason()});
        return result;
    }
    result.report.outcome = BatchOutcome::Done;
    result.report.renamed = 1;
    return result;
}

} // namespace

TakeBackResult takeBackStep(FileSystem &fileSystem, const QString &programFolder, const HistoryStep &found,
                            const NameFilter &filter, const BatchFollower &follow)
{
    const RenameStep &step = found.step;
    TakeBackResult result;
    QList<PlannedMove> moves;
    QList<FileStamp> planned;
    if (step.renamesFolder()) {
        result = moveFolderBack(fileSystem, step);
        moves = {{step.files.constFirst().name, step.files.constFirst().formerName}};
    } else {
        TakeBackGuard guard(fileSystem, programFolder, step);
        // Each file gets its former name back byte for byte, whatever its encoding now: a name
        // typed whole in the single rename went from CP932 to UTF-8, and its redo must write UTF-8 again.
        BatchObserver *observer = follow ? &follow(guard) : &guard;
        BatchMover batch(fileSystem,
                         BatchPlan(fileSystem, BatchRequest{step.folder, namesNow(step), workFolderOf(programFolder), filter,
                                                            [&step](int index, const QString &) {
                                                                return NewName::exactly(step.files.at(index).formerName);
                                                            }}),
                         observer);
        result = {batch.run(), guard.changed, FsResult::success()};
        moves = batch.moves();
        planned = batch.plannedFiles();
    }
    if (result.report.outcome != BatchOutcome::Done)
        return result;
    const TakeBack opposite = step.direction == TakeBack::Undo ? TakeBack::Redo : TakeBack::Undo;
    // A rename keeps a file's number, size and time on most filesystems, and then the stamps just
    // checked stand for every file; two files looked at decide, as FAT numbers files by their
    // place and needs each one looked at again.
    const RenamedFile &first = step.files.constFirst();
    const RenamedFile &last = step.files.constLast();
    if (fileSystem.fileStamps(step.folder, {first.formerName, last.formerName}) == QList<FileStamp>{first.stamp, last.stamp}) {
        result.recorded = writeRecord(found.path, opposite, step.folder, step.files.size(), [&step](qsizetype index) {
            const RenamedFile &file = step.files.at(index);
            return FileRef{file.formerName, file.name, file.stamp};
        });
    } else {
        result.recorded = writeMoves(fileSystem, step.folder, moves, planned, [&](qsizetype count, const FileAt &fileAt) {
            return writeRecord(found.path, opposite, step.folder, count, fileAt);
        });
        if (!result.recorded.ok())
            removeRecord(found.path);
    }
    // The steps after an undone one are redone only after it.
    if (!result.recorded.ok() && step.direction == TakeBack::Undo)
        cutAfter(programFolder, found.number);
    return result;
}

QString takeBackText(const RenameStep &step)
{
    if (step.renamesFolder()) {
        const RenamedFile &entry = step.files.constFirst();
        return QStringLiteral("%1\nフォルダ名\n%2 → %3").arg(displayPath(step.folder), shownName(entry.name), shownName(entry.formerName));
    }
    QString text = QStringLiteral("%1\n%2 ファイル").arg(displayPath(step.folder)).arg(step.files.size());
    for (const RenamedFile &file : step.files)
        text += QLatin1Char('\n') + shownName(file.name) + QStringLiteral(" → ") + shownName(file.formerName);
    return text;
}

QString changedFilesMessage(const RenameStep &step, const QList<ChangedFile> &changed)
{
    const bool folder = step.renamesFolder();
    const bool undo = step.direction == TakeBack::Undo;
    QString text = folder ? (undo ? QStringLiteral("次のフォルダは名前を変えた後に変わったため、元に戻せません。フォルダの名前は変わっていません。\n")
                                  : QStringLiteral("次のフォルダは元に戻した後に変わったため、やり直せません。フォルダの名前は変わっていません。\n"))
                          : (undo ? QStringLiteral("次のファイルはリネームの後に変わったため、元に戻せません。ファイルは一つも移動していません。\n")
                                  : QStringLiteral("次のファイルは元に戻した後に変わったため、やり直せません。ファイルは一つも移動していません。\n"));
    QStringList lines;
    for (const ChangedFile &file : changed)
        lines.append(QStringLiteral("・%1（%2）").arg(shownName(file.name), changeReason(file.change, folder)));
    return text + displayPath(step.folder) + QLatin1Char('\n') + firstLines(lines);
}
