#include "batch/recovery.h"

#include "batch/batchmessage.h"
#include "batch/journal.h"
#include "batch/twophasemove.h"
#include "platform/filename.h"
#include "platform/programfolder.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <cerrno>
#include <utility>

namespace {

using IdKey = std::pair<quint64, quint64>;

IdKey keyOf(const FileId &id)
{
    return {id.device, id.inode};
}

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
    }

    // Finds every file by its id in the folders it could have reached, preferring the places
    // where the batch would have left it.
    void locate(quint64 folderDeviceNow)
    {
        // A device number may change between boots; the files all lie on the folder's device.
        m_device = folderDeviceNow != 0 ? folderDeviceNow : m_journal.folderDevice;
        QHash<IdKey, QList<Place>> byId;
        for (const QString &folder : std::as_const(m_searched)) {
            const QHash<QString, FileId> ids = m_fs.entryIds(folder);
            byId.reserve(byId.size() + ids.size());
            for (auto entry = ids.cbegin(); entry != ids.cend(); ++entry)
                byId[keyOf(entry.value())].append({folder, entry.key()});
        }
        const QList<JournalFile> &files = m_journal.files;
        m_where = QList<Place>(files.size());
        for (qsizetype i = 0; i < files.size(); ++i) {
            const JournalFile &file = files.at(i);
            const QList<Place> places = byId.value(keyOf(idOf(file)));
            if (places.isEmpty())
                continue;
            const Place expected[] = {{m_journal.folder, file.oldName},
                                      {m_journal.holdingFolder, file.newName},
                                      {m_journal.folder, file.newName}};
            bool found = false;
            for (const Place &place : expected) {
                if ((found = places.contains(place) && claim(i, place)))
                    break;
            }
            for (qsizetype p = 0; !found && p < places.size(); ++p)
                found = claim(i, places.at(p));
        }
    }

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
        QSet<QString> wanted;
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (m_where.at(i).found() && !isHome(i))
                wanted.insert(files.at(i).oldName);
        }
        const QString &folder = m_journal.folder;
        const QString &aside = m_journal.holdingFolder;
        bool asideReady = m_fs.exists(aside);
        for (qsizetype i = 0; i < files.size(); ++i) {
            const Place &place = m_where.at(i);
            if (!place.found() || place.folder != folder || isHome(i) || !wanted.contains(place.name))
                continue;
            if (!asideReady)
                asideReady = m_fs.makeFolder(aside).ok();
            if (asideReady && m_fs.move(place.path(), joinPath(aside, place.name)).ok())
                m_where[i].folder = aside;
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
                m_where[i] = {folder, file.oldName};
                ++report.restored;
            } else {
                report.unrestored.append({file.oldName, place.path(), moved.reason()});
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

    // The moves must be on disk before the journal that could undo them goes.
    void tidyUp()
    {
        if (m_fs.exists(m_staging))
            m_fs.removeFolder(m_staging);
        syncFolder(m_journal.folder);
        for (const QString &folder : {m_journal.holdingFolder, m_work}) {
            if (m_fs.exists(folder))
                syncFolder(folder);
        }
    }

private:
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
    quint64 m_device = 0;
    QList<Place> m_where;
    QSet<QString> m_claimed;
};

void keepAside(FileSystem &fileSystem, RecoveryReport &report, const QString &tag)
{
    const FsResult aside = setJournalAside(fileSystem, report.journalPath, tag, &report.keptAs);
    if (!aside.ok())
        report.keepProblem = aside.reason();
}

} // namespace

RecoveryReport recoverInterruptedBatch(FileSystem &fileSystem, const QString &programFolder)
{
    RecoveryReport report;
    report.journalPath = journalPathOf(programFolder);
    discardUnsealedJournal(programFolder);
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

    report.folder = journal.folder;
    Restorer restorer(fileSystem, journal, workFolderOf(programFolder));
    const FileId folderId = fileSystem.fileId(journal.folder);
    restorer.locate(folderId.device);
    if (!folderId.valid()) {
        report.outcome = RecoveryOutcome::FolderMissing;
        restorer.reportWhereabouts(report);
        keepAside(fileSystem, report, QStringLiteral("kept"));
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
    restorer.tidyUp();
    if (report.outcome == RecoveryOutcome::Partial) {
        keepAside(fileSystem, report, QStringLiteral("kept"));
        return report;
    }
    const FsResult removed = removeJournal(report.journalPath);
    if (!removed.ok() && removed.error != ENOENT)
        report.problem = removed.reason();
    return report;
}

namespace {

QString firstLines(const QStringList &lines)
{
    QStringList shown = lines.mid(0, NamesShown);
    if (lines.size() > NamesShown)
        shown.append(QStringLiteral("ほか %1 件").arg(lines.size() - NamesShown));
    return shown.join(QLatin1Char('\n'));
}

QString whereabouts(const QList<UnrestoredFile> &files)
{
    QStringList lines;
    lines.reserve(files.size());
    for (const UnrestoredFile &file : files) {
        if (file.path.isEmpty())
            lines.append(QStringLiteral("・%1 は見つかりませんでした").arg(displayName(file.oldName)));
        else if (file.reason.isEmpty())
            lines.append(QStringLiteral("・%1 は今 %2 にあります").arg(displayName(file.oldName), displayPath(file.path)));
        else
            lines.append(QStringLiteral("・%1 は今 %2 にあります（%3）")
                             .arg(displayName(file.oldName), displayPath(file.path), file.reason));
    }
    return firstLines(lines);
}

QString journalFate(const RecoveryReport &report)
{
    if (!report.keptAs.isEmpty())
        return QStringLiteral("作業の記録は次の名前で残しました。\n%1").arg(report.keptAs);
    return QStringLiteral("作業の記録を別の名前にできませんでした。\n%1\n%2").arg(report.journalPath, report.keepProblem);
}

} // namespace

QString recoveryMessage(const RecoveryReport &report)
{
    const QString restoredHead = QStringLiteral("前回の一括リネームが途中で終わっていたため、ファイルを元の名前に戻しました。\n%1\n元の名前に戻したファイル：%2 個")
                                     .arg(displayPath(report.folder))
                                     .arg(report.restored);
    switch (report.outcome) {
    case RecoveryOutcome::NoJournal:
    case RecoveryOutcome::Completed:
        return QString();
    case RecoveryOutcome::Restored: {
        QString message = restoredHead + QStringLiteral("\n一括リネームの対象だったファイルは、全て元の名前です。");
        if (!report.problem.isEmpty())
            message += QStringLiteral("\n\n作業の記録を削除できませんでした。\n%1\n%2").arg(report.journalPath, report.problem);
        return message;
    }
    case RecoveryOutcome::Partial:
        return restoredHead + QStringLiteral("\n\n次のファイルは元の名前に戻せませんでした。削除も上書きもしていません。\n")
            + whereabouts(report.unrestored) + QStringLiteral("\n\n") + journalFate(report);
    case RecoveryOutcome::FolderMissing:
        return QStringLiteral("前回の一括リネームが途中で終わっていましたが、そのフォルダが見つからないため、ファイルは動かしていません。\n%1\n")
                   .arg(displayPath(report.folder))
            + whereabouts(report.unrestored) + QStringLiteral("\n\n") + journalFate(report);
    case RecoveryOutcome::Unreadable:
        return QStringLiteral("前回の一括リネームの作業の記録を読めないため、ファイルは動かしていません。\n%1\n%2\n\n")
                   .arg(report.journalPath, report.problem)
            + journalFate(report);
    }
    return QString();
}
