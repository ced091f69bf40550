#include "batch/lastrename.h"

#include "batch/batchmessage.h"
#include "batch/journal.h"
#include "batch/lineroom.h"
#include "platform/filename.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <functional>

namespace {

constexpr char Magic[] = "mivot last rename 1";

// Names may hold tabs and line breaks and bytes of any encoding: every field is the name's own
// bytes, with "%", controls and spaces percent-encoded (older records encode every other byte
// too, which reads the same).
bool needsEncoding(char c)
{
    return static_cast<unsigned char>(c) <= ' ' || c == '%' || c == 0x7f;
}

void putEncoded(LineRoom &line, QByteArrayView bytes)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        if (needsEncoding(c))
            line << '%' << Hex[static_cast<unsigned char>(c) >> 4] << Hex[static_cast<unsigned char>(c) & 0xf];
        else
            line << c;
    }
}

void appendEncoded(QByteArray &text, const QString &name)
{
    const QByteArray bytes = bytesOfName(name);
    LineRoom line(text, 3 * bytes.size());
    putEncoded(line, bytes);
}

QString decoded(QByteArrayView field)
{
    return nameFromBytes(QByteArray::fromPercentEncoding(field.toByteArray()));
}

// BLAKE2b for records written now, several times faster than SHA-256, which older ones hold.
QByteArray checkLine(QByteArrayView body, bool older = false)
{
    if (older)
        return "check\t" + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n';
    return "check\tblake2b-256:" + QCryptographicHash::hash(body, QCryptographicHash::Blake2b_256).toHex() + '\n';
}

bool toNumber(QByteArrayView field, qint64 &number)
{
    bool ok = false;
    number = field.toLongLong(&ok);
    return ok && !field.isEmpty() && field.front() != '+' && field.front() != ' ';
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

    FsResult planned(const TwoPhaseMove &batch) override
    {
        // The engine has just looked at every file, in the record's order.
        changed = changedAmong(m_record, batch.plannedFiles(), m_fs.filesystemKind(m_record.folder).stableIds);
        if (!changed.isEmpty())
            return FsResult::failure(changedFilesMessage(m_record, changed));
        // The engine writes names in each file's encoding; a former name must come back byte for byte.
        const QList<PlannedMove> &moves = batch.moves();
        for (qsizetype i = 0; i < moves.size(); ++i) {
            if (moves.at(i).newName != m_record.files.at(i).formerName) {
                return FsResult::failure(QStringLiteral("「%1」を元の名前「%2」に正しく戻せません。")
                                             .arg(shownName(moves.at(i).oldName), shownName(m_record.files.at(i).formerName)));
            }
        }
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

// Composes the record in pieces, each handed to `sink` with the checksum kept as it goes: a
// record of 100,000 files never stands whole in memory.
bool composeRecord(TakeBack direction, const QString &folder, qsizetype count,
                   const std::function<FileRef(qsizetype)> &fileAt, const std::function<bool(const QByteArray &)> &sink)
{
    constexpr qsizetype PieceSize = 256 * 1024;
    QCryptographicHash hash(QCryptographicHash::Blake2b_256);
    QByteArray text;
    text.reserve(PieceSize + 1024);
    bool ok = true;
    auto pass = [&] {
        hash.addData(text);
        ok = ok && sink(text);
        text.clear();
    };
    text += Magic;
    text += direction == TakeBack::Undo ? "\nundo\nfolder\t" : "\nredo\nfolder\t";
    appendEncoded(text, folder);
    text += "\nfiles\t" + QByteArray::number(count) + '\n';
    QByteArray name;
    QByteArray formerName;
    for (qsizetype i = 0; i < count; ++i) {
        const FileRef file = fileAt(i);
        writeBytesOfName(file.name, name);
        writeBytesOfName(file.formerName, formerName);
        {
            // Each byte of a name takes three at most, encoded.
            LineRoom line(text, 5 + 5 * (LineRoom::NumberBytes + 1) + 3 * name.size() + 1 + 3 * formerName.size() + 1);
            line << QByteArrayView("file\t");
            for (const qint64 number : {qint64(file.stamp.id.device), qint64(file.stamp.id.inode), qint64(file.stamp.type),
                                        file.stamp.size, file.stamp.modifiedNs}) {
                line.number(number);
                line << '\t';
            }
            putEncoded(line, name);
            line << '\t';
            putEncoded(line, formerName);
            line << '\n';
        }
        if (text.size() >= PieceSize)
            pass();
    }
    pass();
    return ok && sink("check\tblake2b-256:" + hash.result().toHex() + '\n');
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
    const qsizetype check = text.lastIndexOf("\ncheck\t", text.size() - 2);
    if (check < 0 || !text.endsWith('\n'))
        return false;
    const QByteArrayView body = QByteArrayView(text).first(check + 1);
    const QByteArrayView line = QByteArrayView(text).sliced(check + 1);
    if (line != checkLine(body, !line.startsWith("check\tblake2b-256:")))
        return false;
    const QList<QByteArray> lines = text.first(check).split('\n');
    if (lines.size() < 4 || lines.at(0) != Magic || (lines.at(1) != "undo" && lines.at(1) != "redo")
        || !lines.at(2).startsWith("folder\t") || !lines.at(3).startsWith("files\t"))
        return false;
    record.direction = lines.at(1) == "undo" ? TakeBack::Undo : TakeBack::Redo;
    record.folder = decoded(QByteArrayView(lines.at(2)).sliced(7));
    qint64 count = 0;
    if (record.folder.isEmpty() || !toNumber(QByteArrayView(lines.at(3)).sliced(6), count) || count != lines.size() - 4)
        return false;
    record.files.reserve(count);
    for (qsizetype i = 4; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split('\t');
        qint64 device = 0;
        qint64 inode = 0;
        qint64 type = 0;
        RenamedFile file;
        if (fields.size() != 8 || fields.at(0) != "file" || !toNumber(fields.at(1), device) || !toNumber(fields.at(2), inode)
            || !toNumber(fields.at(3), type) || !toNumber(fields.at(4), file.stamp.size)
            || !toNumber(fields.at(5), file.stamp.modifiedNs))
            return false;
        file.stamp.id = {quint64(device), quint64(inode)};
        file.stamp.type = quint32(type);
        file.name = decoded(fields.at(6));
        file.formerName = decoded(fields.at(7));
        if (file.name.isEmpty() || file.formerName.isEmpty() || !file.stamp.exists())
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

QList<ChangedFile> changedSince(FileSystem &fileSystem, const LastRename &record)
{
    QStringList names;
    names.reserve(record.files.size());
    for (const RenamedFile &file : record.files)
        names.append(file.name);
    return changedAmong(record, fileSystem.fileStamps(record.folder, names), fileSystem.filesystemKind(record.folder).stableIds);
}

TakeBackResult takeBackLastRename(FileSystem &fileSystem, const QString &programFolder, const LastRename &record,
                                  const NameFilter &filter, const BatchFollower &follow)
{
    QStringList names;
    QStringList formerNames;
    names.reserve(record.files.size());
    formerNames.reserve(record.files.size());
    for (const RenamedFile &file : record.files) {
        names.append(file.name);
        // The engine hands the rule characters and writes its answer in the file's present
        // encoding: only CP932 needs the characters; every other encoding keeps the bytes as given.
        formerNames.append(FileName::fromName(file.name).encoding() == NameEncoding::Cp932
                               ? FileName::fromName(file.formerName).text()
                               : file.formerName);
    }
    TakeBackGuard guard(fileSystem, programFolder, record);
    TwoPhaseMove batch(fileSystem,
                       BatchRequest{record.folder, names, workFolderOf(programFolder), filter,
                                    [formerNames](int index, const QString &) { return NewName::of(formerNames.at(index)); }},
                       follow ? &follow(guard) : &guard);
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
    text += displayPath(record.folder);
    const qsizetype shown = qMin<qsizetype>(changed.size(), NamesShown);
    for (qsizetype i = 0; i < shown; ++i)
        text += QStringLiteral("\n・%1（%2）").arg(shownName(changed.at(i).name), changeReason(changed.at(i).change));
    if (changed.size() > shown)
        text += QStringLiteral("\nほか %1 件").arg(changed.size() - shown);
    return text;
}
