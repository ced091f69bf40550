#include "batch/recovery.h"

#include "batch/batchmessage.h"
#include "batch/journal.h"
#include "batch/twophasemove.h"
#include "platform/filename.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

// Where a file of the journal lies now; an empty folder when it was not found.
struct Place
{
    QString folder;
    QString name;

    bool found() const { return !folder.isEmpty(); }
    bool operator==(const Place &) const = default;
    QString path() const { return joinPath(folder, name); }
};

class Restorer
{
public:
    Restorer(FileSystem &fileSystem, const Journal &journal, const QString &workFolder)
        : m_fs(fileSystem)
        , m_journal(journal)
        , m_work(workFolder)
        , m_staging(stagingFolderOf(journal.folder))
    {
        for (const QString &folder : {journal.folder, journal.holdingFolder, m_work, m_staging}) {
            if (!m_searched.contains(folder) && m_fs.exists(folder))
                m_searched.append(folder);
        }
        // The names as the folders spell them: a case-insensitive filesystem finds a file under
        // any spelling of its name, and a look at a name must not take one for the other.
        for (const QString &folder : std::as_const(m_searched)) {
            const QStringList names = m_fs.entryNames(folder);
            m_listed.insert(folder, QSet<QString>(names.cbegin(), names.cend()));
        }
    }

    // Finds every file where the batch could have left it, counting a file as the planned one
    // only when its size and time agree with the record: by its id where the filesystem keeps
    // ids, else only at a name the record expects.
    void locate(quint64 folderDeviceNow, bool stableIds)
    {
        // A device number may change between boots; the files all lie on the folder's device.
        m_device = folderDeviceNow != 0 ? folderDeviceNow : m_journal.folderDevice;
        m_where = QList<Place>(m_journal.files.size());
        if (stableIds)
            locateById();
        else
            locateByName();
    }

    // Files that stand where the record expects them but are not the planned ones.
    const QList<UnrestoredFile> &unrecognised() const { return m_unrecognised; }

    bool allHaveNewNames() const
    {
        for (qsizetype i = 0; i < m_where.size(); ++i) {
            if (!isAt(i, m_journal.folder, m_journal.files.at(i).newName))
                return false;
        }
        return true;
    }

    // Every file back under its old name: first the ones that sit on a name another file must
    // get back step aside into the holding folder, then each goes home.
    void restore(RecoveryReport &report)
    {
        const QList<JournalFile> &files = m_journal.files;
        const QString &folder = m_journal.folder;
        // On a case-blind card "f2.JPG" stands on the name "F2.JPG" as much as the same spelling would.
        const bool foldCase = m_fs.ignoresCase(folder);
        QSet<QString> wanted;
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (m_where.at(i).found() && !isHome(i))
                wanted.insert(nameKey(files.at(i).oldName, foldCase));
        }
        const QString &aside = m_journal.holdingFolder;
        bool asideReady = m_fs.exists(aside);
        for (qsizetype i = 0; i < files.size(); ++i) {
            const Place &place = m_where.at(i);
            if (!place.found() || place.folder != folder || isHome(i) || !wanted.contains(nameKey(place.name, foldCase)))
                continue;
            if (!asideReady)
                asideReady = m_fs.makeFolder(aside).ok();
            if (asideReady && m_fs.move(place.path(), joinPath(aside, place.name)).ok()) {
                m_claimed.remove(place.path());
                m_where[i].folder = aside;
                m_claimed.insert(m_where.at(i).path());
            }
        }
        for (qsizetype i = 0; i < files.size(); ++i) {
            const JournalFile &file = files.at(i);
            const Place &place = m_where.at(i);
            if (isHome(i))
                continue;
            if (!place.found()) {
                report.unrestored.append({file.oldName, QString(), QStringLiteral("見つかりません")});
                continue;
            }
            const FsResult moved = m_fs.move(place.path(), joinPath(folder, file.oldName));
            if (moved.ok()) {
                m_claimed.remove(place.path());
                m_where[i] = {folder, file.oldName};
                m_claimed.insert(m_where.at(i).path());
                ++report.restored;
            } else {
                report.unrestored.append({file.oldName, place.path(), moved.reason()});
            }
        }
    }

    // A crash between the link and the unlink of a move leaves a file under two names of the
    // batch: the one that is not the file's place goes, the file stays. A crash between the claim
    // of a new name and the rename onto it leaves an empty file there: in the holding folder,
    // where no file but the batch's lies, it goes too.
    void removeExtraNames()
    {
        const QList<JournalFile> &files = m_journal.files;
        for (qsizetype i = 0; i < files.size(); ++i) {
            const Place &place = m_where.at(i);
            const Place holding{m_journal.holdingFolder, files.at(i).newName};
            if (place.found() && place != holding && files.at(i).stamp.size != 0 && !m_claimed.contains(holding.path())
                && m_searched.contains(holding.folder))
                m_fs.removeEmptyClaim(holding.path());
            if (!place.found())
                continue;
            const FileId id = m_fs.fileId(place.path());
            const QString &newName = files.at(i).newName;
            for (const QString &folder : std::as_const(m_searched)) {
                const QString extra = joinPath(folder, newName);
                if (Place{folder, newName} != place && !m_claimed.contains(extra) && m_fs.fileId(extra) == id)
                    m_fs.removeExtraName(extra, place.path());
            }
        }
    }

    // Where each file is, for a journal whose folder is gone.
    void reportWhereabouts(RecoveryReport &report) const
    {
        for (qsizetype i = 0; i < m_where.size(); ++i) {
            const Place &place = m_where.at(i);
            report.unrestored.append({m_journal.files.at(i).oldName, place.found() ? place.path() : QString(),
                                      place.found() ? QString() : QStringLiteral("見つかりません")});
        }
    }

    // The moves must be on disk before the journal that could undo them goes: the first folder
    // whose changes may not be is told.
    FsResult tidyUp()
    {
        if (m_fs.exists(m_staging))
            m_fs.removeFolder(m_staging);
        FsResult synced = syncFolder(m_journal.folder);
        for (const QString &folder : {m_journal.holdingFolder, m_work}) {
            if (synced.ok() && m_fs.exists(folder))
                synced = syncFolder(folder);
        }
        return synced;
    }

private:
    bool listed(const Place &place) const { return m_listed.value(place.folder).contains(place.name); }

    // Where a rename gives a file a new time, its size and the name the record expects tell it.
    bool agrees(const JournalFile &file, const Place &place)
    {
        if (!listed(place))
            return false;
        const FileStamp now = m_fs.fileStamp(place.path());
        return now.exists() && now.size == file.stamp.size
            && (m_journal.renameChangesTimes || now.modifiedNs == file.stamp.modifiedNs);
    }

    // The preferred places first: where the batch would have left the file.
    QList<Place> expectedPlaces(const JournalFile &file) const
    {
        QList<Place> places{{m_journal.folder, file.oldName}, {m_journal.holdingFolder, file.newName},
                            {m_journal.folder, file.newName}};
        for (const QString &folder : std::as_const(m_searched)) {
            const Place place{folder, file.newName};
            if (!places.contains(place))
                places.append(place);
        }
        return places;
    }

    void locateById()
    {
        QHash<IdKey, QList<Place>> byId;
        for (const QString &folder : std::as_const(m_searched)) {
            const QHash<QString, FileId> ids = m_fs.entryIds(folder);
            byId.reserve(byId.size() + ids.size());
            for (auto entry = ids.cbegin(); entry != ids.cend(); ++entry)
                byId[{entry.value().device, entry.value().inode}].append({folder, entry.key()});
        }
        const QList<JournalFile> &files = m_journal.files;
        for (qsizetype i = 0; i < files.size(); ++i) {
            const JournalFile &file = files.at(i);
            const FileId id = idOf(file);
            QList<Place> places = byId.value({id.device, id.inode});
            if (places.isEmpty())
                continue;
            const Place first = places.first();
            places.removeIf([&](const Place &place) { return !agrees(file, place); });
            if (places.isEmpty()) {
                m_unrecognised.append({file.oldName, first.path(), QString()});
                continue;
            }
            bool found = false;
            for (const Place &place : expectedPlaces(file)) {
                if ((found = places.contains(place) && claim(i, place)))
                    break;
            }
            for (qsizetype p = 0; !found && p < places.size(); ++p)
                found = claim(i, places.at(p));
        }
    }

    // Without ids, a file is the one that stands at a name only it can have with its size and
    // time: a name in the holding folder is one file's alone, and each place taken settles the
    // files that shared it. Before phase 2 no file stands at its new name in the folder. Places
    // that stay shared by files of equal sizes and times tell them apart no better than a guess:
    // such files are not recognised.
    void locateByName()
    {
        const QList<JournalFile> &files = m_journal.files;
        QList<QList<Place>> candidates(files.size());
        QList<QList<Place>> places(files.size());
        for (qsizetype i = 0; i < files.size(); ++i) {
            for (const Place &place : expectedPlaces(files.at(i))) {
                const bool early = !m_journal.backStarted && place == Place{m_journal.folder, files.at(i).newName};
                if (early || !m_searched.contains(place.folder))
                    continue;
                places[i].append(place);
                if (agrees(files.at(i), place))
                    candidates[i].append(place);
            }
        }
        QList<bool> settled(files.size(), false);
        for (bool progress = true; progress;) {
            progress = false;
            QHash<QString, int> uses;
            for (qsizetype i = 0; i < files.size(); ++i) {
                for (const Place &place : std::as_const(candidates.at(i))) {
                    if (!settled.at(i) && !m_claimed.contains(place.path()))
                        ++uses[place.path()];
                }
            }
            for (qsizetype i = 0; i < files.size(); ++i) {
                for (qsizetype p = 0; !settled.at(i) && p < candidates.at(i).size(); ++p) {
                    const Place &place = candidates.at(i).at(p);
                    if (uses.value(place.path()) == 1 && claim(i, place))
                        progress = settled[i] = true;
                }
            }
        }
        QSet<QString> agreeing;
        for (const QList<Place> &some : std::as_const(candidates)) {
            for (const Place &place : some)
                agreeing.insert(place.path());
        }
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (settled.at(i))
                continue;
            if (!candidates.at(i).isEmpty()) {
                m_unrecognised.append({files.at(i).oldName, candidates.at(i).first().path(), QString()});
                continue;
            }
            // Something at one of its places that is no file of the record: not to be taken for it.
            for (const Place &place : std::as_const(places.at(i))) {
                if (!agreeing.contains(place.path()) && listed(place)) {
                    m_unrecognised.append({files.at(i).oldName, place.path(), QString()});
                    break;
                }
            }
        }
    }

    FileId idOf(const JournalFile &file) const
    {
        if (file.id.device == m_journal.folderDevice)
            return {m_device, file.id.inode};
        return file.id;
    }

    // Two links to one file are two files of the journal: each path serves only one of them.
    bool claim(qsizetype i, const Place &place)
    {
        const QString path = place.path();
        if (m_claimed.contains(path))
            return false;
        m_claimed.insert(path);
        m_where[i] = place;
        return true;
    }

    bool isAt(qsizetype i, const QString &folder, const QString &name) const
    {
        const Place &place = m_where.at(i);
        return place.folder == folder && place.name == name;
    }

    bool isHome(qsizetype i) const { return isAt(i, m_journal.folder, m_journal.files.at(i).oldName); }

    FileSystem &m_fs;
    const Journal &m_journal;
    QString m_work;
    QString m_staging;
    QStringList m_searched;
    QHash<QString, QSet<QString>> m_listed;
    quint64 m_device = 0;
    QList<Place> m_where;
    QSet<QString> m_claimed;
    QList<UnrestoredFile> m_unrecognised;
};

// A move cut short between its claim of the new name and the rename onto it, or between its link
// and the removal of the old name, left a name that the journal named before it was made: the
// claim (still empty, and another file than the one at the old name) or the second name (the
// same file, or on a filesystem that shows each name as a file of its own, the same bytes) goes.
// Where only one of the names stands, the move was done or never began.
void settleCutShortMove(FileSystem &fileSystem, const ExtraNameStep &extra)
{
    const FileStamp from = fileSystem.fileStamp(extra.from);
    const FileStamp to = fileSystem.fileStamp(extra.to);
    if (!from.exists() || !to.exists())
        return;
    if (extra.step == MoveWatcher::Step::Claim) {
        if (from.id != to.id)
            fileSystem.removeEmptyClaim(extra.to);
        return;
    }
    fileSystem.removeExtraName(extra.to, extra.from, SecondName::LinkOrSameBytes);
}

void keepAside(FileSystem &fileSystem, RecoveryReport &report, const QString &tag)
{
    const FsResult aside = setJournalAside(fileSystem, report.journalPath, tag, &report.keptAs);
    if (!aside.ok())
        report.keepProblem = aside.reason();
}

} // namespace

namespace {

// The journals set aside with files that were not brought back: retried at every start.
bool isKeptJournal(const QString &name, const QString &journalName)
{
    return name.startsWith(journalName + QStringLiteral(".kept-")) || name.startsWith(journalName + QStringLiteral(".stranded-"));
}

// Recovers the batch of one journal. A journal whose files are not all home, or whose folder is
// gone, is kept (set aside when it is the running batch's one) for the next start to try again.
RecoveryReport recoverJournal(FileSystem &fileSystem, const QString &programFolder, const QString &journalPath, bool kept)
{
    RecoveryReport report;
    report.journalPath = journalPath;
    report.retried = kept;
    if (!fileSystem.exists(report.journalPath))
        return report;

    QFile file(report.journalPath);
    Journal journal;
    bool read = file.open(QIODevice::ReadOnly);
    if (!read)
        report.problem = file.errorString();
    else
        read = readJournal(file.readAll(), journal, report.problem);
    file.close();
    if (!read) {
        report.outcome = RecoveryOutcome::Unreadable;
        keepAside(fileSystem, report, QStringLiteral("broken"));
        return report;
    }
    auto keep = [&] {
        if (kept)
            report.keptAs = report.journalPath;
        else
            keepAside(fileSystem, report, QStringLiteral("kept"));
    };

    report.folder = journal.folder;
    report.holdingFolder = journal.holdingFolder;
    const FileId folderId = fileSystem.fileId(journal.folder);
    const FilesystemKind kind = folderId.valid() ? fileSystem.filesystemKind(journal.folder) : FilesystemKind();
    // A batch through a staging folder put its token there before its first move: without it
    // (unless the batch came to its end), the folder is not on the medium the batch ran on.
    const QString token = tokenPathOf(journal);
    report.otherFilesystem = journal.filesystem.type != 0 && kind.type != 0 && kind.type != journal.filesystem.type;
    report.otherMedium = folderId.valid() && !report.otherFilesystem && journal.tokenMade && !journal.ended
        && !fileSystem.exists(token);
    // The moves this recovery makes are named in the journal before they leave a name behind.
    JournalTail tail(report.journalPath);
    if (folderId.valid() && !report.otherFilesystem && !report.otherMedium) {
        if (journal.lastExtra)
            settleCutShortMove(fileSystem, *journal.lastExtra);
        tail.watchMoves();
    }
    Restorer restorer(fileSystem, journal, workFolderOf(programFolder));
    restorer.locate(folderId.device, journal.filesystem.stableIds && kind.stableIds);
    if (!folderId.valid()) {
        report.outcome = RecoveryOutcome::FolderMissing;
        restorer.reportWhereabouts(report);
        keep();
        return report;
    }
    // Another filesystem or medium at the folder's place (another card in the slot, a copy of
    // it), or files that the record does not describe: nothing is moved on a guess.
    if (report.otherFilesystem || report.otherMedium || !restorer.unrecognised().isEmpty()) {
        report.outcome = RecoveryOutcome::Unrecognised;
        report.unrecognised = restorer.unrecognised();
        keep();
        return report;
    }

    // Only a batch that ended between its last move and the removal of its journal has every
    // file under its new name; its renames stand.
    if (journal.complete && restorer.allHaveNewNames()) {
        report.outcome = RecoveryOutcome::Completed;
    } else {
        restorer.restore(report);
        report.outcome = report.unrestored.isEmpty() ? RecoveryOutcome::Restored : RecoveryOutcome::Partial;
    }
    restorer.removeExtraNames();
    // The token goes once the journal says so, and the staging folder with it.
    if (report.outcome != RecoveryOutcome::Partial && fileSystem.exists(token)) {
        tail.markEnded();
        fileSystem.removeEmptyClaim(token);
    }
    fileSystem.removeEmptyClaim(token + QStringLiteral(".new"));
    const FsResult synced = restorer.tidyUp();
    if (report.outcome == RecoveryOutcome::Partial) {
        keep();
        return report;
    }
    // Moves that may not be on disk keep the journal that could undo them, for the next start.
    if (!synced.ok()) {
        report.problem = synced.reason();
        keep();
        return report;
    }
    const FsResult removed = removeJournal(report.journalPath);
    if (!removed.ok() && removed.error != ENOENT)
        report.problem = removed.reason();
    return report;
}

} // namespace

RecoveryReport recoverInterruptedBatch(FileSystem &fileSystem, const QString &programFolder)
{
    discardUnsealedJournal(programFolder);
    return recoverJournal(fileSystem, programFolder, journalPathOf(programFolder), false);
}

QList<RecoveryReport> recoverInterruptedBatches(FileSystem &fileSystem, const QString &programFolder)
{
    QList<RecoveryReport> reports;
    const RecoveryReport latest = recoverInterruptedBatch(fileSystem, programFolder);
    if (latest.outcome != RecoveryOutcome::NoJournal)
        reports.append(latest);
    const QString journalName = journalPathOf(programFolder).section(QLatin1Char('/'), -1);
    QStringList kept;
    fileSystem.readFolder(programFolder, [&](const QString &name, EntryKind) {
        if (isKeptJournal(name, journalName))
            kept.append(name);
    });
    // The latest batch first: each earlier one left its files as the later ones found them.
    auto stamp = [&](const QString &name) { return name.section(QLatin1Char('-'), 1); };
    std::sort(kept.begin(), kept.end(), [&](const QString &a, const QString &b) { return stamp(a) > stamp(b); });
    for (const QString &name : std::as_const(kept)) {
        const QString path = joinPath(programFolder, name);
        if (path != latest.keptAs)
            reports.append(recoverJournal(fileSystem, programFolder, path, true));
    }
    return reports;
}

namespace {

QString whereabouts(const QList<UnrestoredFile> &files)
{
    QStringList lines;
    lines.reserve(files.size());
    for (const UnrestoredFile &file : files) {
        if (file.path.isEmpty())
            lines.append(QStringLiteral("・%1 は見つかりませんでした").arg(shownName(file.oldName)));
        else if (file.reason.isEmpty())
            lines.append(QStringLiteral("・%1 は今 %2 にあります").arg(shownName(file.oldName), displayPath(file.path)));
        else
            lines.append(QStringLiteral("・%1 は今 %2 にあります（%3）")
                             .arg(shownName(file.oldName), displayPath(file.path), file.reason));
    }
    return firstLines(lines);
}

QString journalFate(const RecoveryReport &report)
{
    if (!report.keptAs.isEmpty() && report.outcome != RecoveryOutcome::Unreadable)
        return QStringLiteral("作業の記録は次の名前で残しました。次回の起動時にもう一度戻します。\n%1").arg(displayPath(report.keptAs));
    if (!report.keptAs.isEmpty())
        return QStringLiteral("作業の記録は次の名前で残しました。\n%1").arg(displayPath(report.keptAs));
    return QStringLiteral("作業の記録を別の名前にできませんでした。\n%1\n%2").arg(displayPath(report.journalPath), report.keepProblem);
}

} // namespace

QString recoveryMessage(const RecoveryReport &report)
{
    // Only a recovery that moved files says it brought them back.
    const QString restoredHead = report.restored > 0
        ? QStringLiteral("前回の一括リネームが途中で終わっていたため、ファイルを元の名前に戻しました。\n%1\n元の名前に戻したファイル：%2 個")
              .arg(displayPath(report.folder))
              .arg(report.restored)
        : QStringLiteral("前回の一括リネームが途中で終わっていました。\n%1\n元の名前に戻したファイル：なし").arg(displayPath(report.folder));
    // Kept after files came home or kept their new names: the folder's changes may not be on disk.
    const QString unsynced = QStringLiteral("フォルダの変更がディスクに書き込まれたことを確かめられないため、作業の記録を残しました。"
                                            "次回の起動時にもう一度確かめます。\n%1\n%2")
                                 .arg(displayPath(report.keptAs), report.problem);
    switch (report.outcome) {
    case RecoveryOutcome::NoJournal:
        return QString();
    case RecoveryOutcome::Completed:
        return report.keptAs.isEmpty() ? QString()
                                       : QStringLiteral("前回の一括リネームは終わっていました。\n%1\n\n").arg(displayPath(report.folder)) + unsynced;
    case RecoveryOutcome::Restored: {
        QString message = restoredHead + QStringLiteral("\n一括リネームの対象だったファイルは、全て元の名前です。");
        if (!report.keptAs.isEmpty())
            message += QStringLiteral("\n\n") + unsynced;
        else if (!report.problem.isEmpty())
            message += QStringLiteral("\n\n作業の記録を削除できませんでした。\n%1\n%2").arg(displayPath(report.journalPath), report.problem);
        return message;
    }
    case RecoveryOutcome::Partial:
        return restoredHead + QStringLiteral("\n\n次のファイルは元の名前に戻せませんでした。削除も上書きもしていません。\n")
            + whereabouts(report.unrestored) + QStringLiteral("\n\n") + journalFate(report);
    case RecoveryOutcome::FolderMissing:
        return QStringLiteral("前回の一括リネームが途中で終わっていましたが、そのフォルダが見つからないため、ファイルは動かしていません。\n%1\n")
                   .arg(displayPath(report.folder))
            + whereabouts(report.unrestored) + QStringLiteral("\n\n") + journalFate(report);
    case RecoveryOutcome::Unrecognised: {
        if (report.otherMedium)
            return QStringLiteral("前回の一括リネームが途中で終わっていましたが、今このフォルダにあるのは一括リネームをしたときのディスク"
                                  "（メモリーカードなど）ではないため、ファイルは動かしていません。\n%1\n\n"
                                  "一括リネームのファイルは、そのディスクの次のフォルダで待っています。そのディスクをつないでから起動し直してください。\n%2\n\n")
                       .arg(displayPath(report.folder), displayPath(report.holdingFolder))
                + journalFate(report);
        QString message = report.otherFilesystem
            ? QStringLiteral("前回の一括リネームが途中で終わっていましたが、フォルダのファイルシステムが記録と違うため、ファイルは動かしていません。\n%1\n").arg(displayPath(report.folder))
            : QStringLiteral("前回の一括リネームが途中で終わっていましたが、記録と一致しないファイルがあるため、ファイルは動かしていません。\n%1\n").arg(displayPath(report.folder));
        QStringList lines;
        for (const UnrestoredFile &file : report.unrecognised)
            lines.append(QStringLiteral("・%1 の置き場所にある %2 は、記録のファイルと一致しません").arg(shownName(file.oldName), displayPath(file.path)));
        if (!lines.isEmpty())
            message += firstLines(lines) + QLatin1Char('\n');
        return message + QStringLiteral("\n一括リネームのファイルは次のフォルダで待っています。\n%1\n\n").arg(displayPath(report.holdingFolder))
            + journalFate(report);
    }
    case RecoveryOutcome::Unreadable:
        return QStringLiteral("前回の一括リネームの作業の記録を読めないため、ファイルは動かしていません。\n%1\n%2\n\n")
                   .arg(displayPath(report.journalPath), report.problem)
            + journalFate(report);
    }
    return QString();
}
