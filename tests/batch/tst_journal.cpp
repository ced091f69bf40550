#include "batch/journal.h"
#include "batch/renamehistory.h"
#include "batch/recovery.h"
#include "batch/twophasemove.h"
#include "platform/programfolder.h"
#include "support/faultyfilesystem.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Thrown at a chosen move: the process died there. Nothing after it runs, as after SIGKILL.
struct Crash
{
};

// The real file system on a batch's route (its moves go through the folder pair the real one
// opens), that dies (throws Crash) before its crashAt-th move (0: never), and may refuse others or
// put the folders on two filesystems (the staging route).
class CrashingFileSystem : public FaultyFileSystem
{
public:
    CrashingFileSystem(FileSystem &real, int crashAt, const QList<int> &refused = {}, bool staged = false)
        : FaultyFileSystem(real)
    {
        beforeMove(crashAt, [] { throw Crash(); });
        for (const int move : refused)
            refuseMove(move, EIO);
        if (staged)
            setSameFilesystem(false);
    }

    // A move by path is not a batch's route.
    bool wrongRoute() const { return moveCount() != pairMoveCount(); }
};

// Each file takes the name of the one `step` places on, round the end: every new name is another
// file's old name, the hardest case to put back.
NameRule rotating(const QStringList &names, int step = 1)
{
    return [names, step](int index, const QString &) {
        return NewName::of(names.at((index + step + names.size()) % names.size()));
    };
}

const QStringList Names = {QStringLiteral("n1.txt"), QStringLiteral("n2.txt"), QStringLiteral("n3.txt"),
                           QStringLiteral("n4.txt"), QStringLiteral("n5.txt")};

enum class Route { Direct, Staged };

} // namespace

Q_DECLARE_METATYPE(Route)
Q_DECLARE_METATYPE(RecoveryOutcome)

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void entryIdsAreTheFilesOwn();
    void namesSurviveTheTextForm_data();
    void namesSurviveTheTextForm();
    void historyKeepsTheNewestWithinItsBound();
    void folderStepUndoneAndRedone();
    void journalOnDiskBeforeFirstMove();
    void endedBatchLeavesNoJournal_data();
    void endedBatchLeavesNoJournal();
    void unwritableJournalRefusesBatch();
    void strandedBatchRetriedAtNextStart();
    void laterBatchKeepsStrandedJournalAside();

    void crashAtAnyMoveIsUndone_data();
    void crashAtAnyMoveIsUndone();
    void crashAmongRawNamesIsUndoneByteForByte();
    void crashDuringRecoveryIsFinishedNextTime_data();
    void crashDuringRecoveryIsFinishedNextTime();
    void completedBatchKeepsItsNames();
    void markerContradictedByFilesIsNotTrusted();
    void fileFoundUnderAnyName();
    void linkMoveCutShortLeavesNoExtraName_data();
    void linkMoveCutShortLeavesNoExtraName();
    void recognitionNeverGuesses_data();
    void recognitionNeverGuesses();
    void crashBeforeJournalLeavesNoStagingFolder();

    void damagedJournalIsNeverActedOn_data();
    void damagedJournalIsNeverActedOn();
    void tornTailIsIgnored_data();
    void tornTailIsIgnored();
    void folderGoneKeepsFilesAndJournal();
    void copyOfCardKeepsFilesAndJournal();
    void takenOldNameIsNotOverwritten();

private:
    QString prog() const { return m_root->filePath(QStringLiteral("prog")); }
    QString folder() const { return m_folder; }
    QString work() const { return workFolderOf(prog()); }
    QString journal() const { return journalPathOf(prog()); }
    QStringList asideJournals(const QString &tag) const;
    void makeFiles(const QStringList &names);
    BatchReport runJournaled(FileSystem &fs, const NameRule &rule);
    // Runs a journaled batch that dies at the given move; false when it got to its end, or
    // moved a file by path while it held its folders open.
    bool crashBatch(FileSystem &fs, int crashAt, const NameRule &rule, int refuseAt = 0, bool staged = false);

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_folder;
    LinuxFileSystem m_real;
};

void TestJournal::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_folder = m_root->filePath(QStringLiteral("files"));
    QVERIFY(QDir().mkpath(folder()));
    QVERIFY(QDir().mkpath(work()));
}

QStringList TestJournal::asideJournals(const QString &tag) const
{
    return QDir(prog()).entryList({QStringLiteral(".xxxxxxx.journal.") + tag + QStringLiteral("-*")},
                                  QDir::Files | QDir::Hidden);
}

void TestJournal::makeFiles(const QStringList &names)
{
    for (const QString &name : names)
        writeFile(joinPath(folder(), name), QByteArray("content of ") + name.toUtf8());
}

BatchReport TestJournal::runJournaled(FileSystem &fs, const NameRule &rule)
{
    BatchJournal record(fs, prog());
    BatchMover batch(fs, BatchPlan(fs, BatchRequest{folder(), listFolderFiles(folder(), NameFilter()), work(), NameFilter(), rule}), &record);
    return batch.run();
}

bool TestJournal::crashBatch(FileSystem &fs, int crashAt, const NameRule &rule, int refuseAt, bool staged)
{
    CrashingFileSystem crashing(fs, crashAt, {refuseAt}, staged);
    try {
        runJournaled(crashing, rule);
    } catch (const Crash &) {
        return !crashing.wrongRoute();
    }
    return false;
}

void TestJournal::entryIdsAreTheFilesOwn()
{
    makeFiles({QStringLiteral("a.txt"), QStringLiteral("名前 b")});
    QVERIFY(QDir(folder()).mkdir(QStringLiteral("sub")));
    QVERIFY(QFile::link(QStringLiteral("a.txt"), joinPath(folder(), QStringLiteral("link"))));
    QVERIFY(QFile::link(QStringLiteral("nowhere"), joinPath(folder(), QStringLiteral("dangling"))));
    QVERIFY(::link(QFile::encodeName(joinPath(folder(), QStringLiteral("a.txt"))).constData(),
                   QFile::encodeName(joinPath(folder(), QStringLiteral("hard"))).constData()) == 0);

    FaultyFileSystem byFileId(m_real); // the interface's own way, one fileId per entry
    for (FileSystem *fs : {static_cast<FileSystem *>(&m_real), static_cast<FileSystem *>(&byFileId)}) {
        FsResult result;
        const QHash<QString, FileId> ids = fs->entryIds(folder(), &result);
        QVERIFY(result.ok());
        QCOMPARE(ids.size(), 6);
        for (auto entry = ids.cbegin(); entry != ids.cend(); ++entry)
            QVERIFY2(entry.value() == m_real.fileId(joinPath(folder(), entry.key())), qPrintable(entry.key()));
        QVERIFY(ids.value(QStringLiteral("hard")) == ids.value(QStringLiteral("a.txt")));
        QVERIFY(ids.value(QStringLiteral("link")) != ids.value(QStringLiteral("a.txt")));
        fs->entryIds(m_root->filePath(QStringLiteral("missing")), &result);
        QCOMPARE(result.error, ENOENT);
    }
}

void TestJournal::namesSurviveTheTextForm_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QStringLiteral("photo.jpg");
    QTest::newRow("japanese and spaces") << QStringLiteral("IMG 1 のコピー　(2).jpg");
    QTest::newRow("tab") << QStringLiteral("a\tb");
    QTest::newRow("line break") << QStringLiteral("a\nb\r\nc");
    QTest::newRow("backslash before a letter") << QStringLiteral("a\\tb\\");
    QTest::newRow("control characters") << QStringLiteral("a") + QChar(1) + QChar(0x1f) + QChar(0x7f);
    QTest::newRow("looks like the check line") << QStringLiteral("x\ncheck\t1\tsha256:00");
    QTest::newRow("cp932 bytes") << nameFromBytes("\x83\x5f_1.txt");
    QTest::newRow("invalid byte after a pair") << nameFromBytes("\xf0\x9f\x82\x80\x80\\x80");
}

void TestJournal::namesSurviveTheTextForm()
{
    QFETCH(QString, name);
    Journal written;
    written.folder = QStringLiteral("/home/u/") + name;
    written.folderDevice = 2049;
    written.filesystem = {0x4d44, false};
    written.holdingFolder = QStringLiteral("/p/xxxxxxx");
    written.files = {{name, name + QStringLiteral("2"), {2049, 12}, {{2049, 12}, 0, 7, 1765170000123456789}},
                     {QStringLiteral("b"), name, {2049, 18446744073709551615ull}, {{2049, 18446744073709551615ull}, 0, 0, 0}}};
    const QByteArray text = journalText(written);
    // One line per file between the five header lines and the check line, readable as text.
    QCOMPARE(text.count('\n'), 1 + 5 + 2 + 1);
    QVERIFY(text.startsWith("mivot batch journal 3\n"));
    QVERIFY(QString::fromUtf8(text).toUtf8() == text);

    Journal read;
    QString reason;
    QVERIFY2(readJournal(text, read, reason), qPrintable(reason));
    QCOMPARE(read.folder, written.folder);
    QCOMPARE(read.folderDevice, written.folderDevice);
    QCOMPARE(read.holdingFolder, written.holdingFolder);
    QVERIFY(read.filesystem == written.filesystem);
    QCOMPARE(read.files.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(read.files.at(i).oldName, written.files.at(i).oldName);
        QCOMPARE(read.files.at(i).newName, written.files.at(i).newName);
        QVERIFY(read.files.at(i).id == written.files.at(i).id);
        QVERIFY(read.files.at(i).stamp == written.files.at(i).stamp);
    }
    QVERIFY(!read.backStarted && !read.complete && !read.stranded);

    // Thousands of lines, written in several pieces, this name's among plain ones.
    Journal many = written;
    many.files.clear();
    for (int i = 0; i < 10000; ++i) {
        const QString plain = QStringLiteral("写真 %1.jpg").arg(i);
        const FileId id{2049, quint64(100 + i)};
        many.files.append({i % 3 == 0 ? name + QString::number(i) : plain, plain, id, {id, 0, i, 1765170000123456789 + i}});
    }
    QVERIFY2(readJournal(journalText(many), read, reason), qPrintable(reason));
    QCOMPARE(read.files.size(), many.files.size());
    for (qsizetype i = 0; i < many.files.size(); ++i) {
        QCOMPARE(read.files.at(i).oldName, many.files.at(i).oldName);
        QCOMPARE(read.files.at(i).newName, many.files.at(i).newName);
        QVERIFY(read.files.at(i).stamp == many.files.at(i).stamp);
    }
    // So does the record that Ctrl+Z reads.
    RenameStep record{TakeBack::Undo, written.folder, {}};
    for (const JournalFile &file : std::as_const(many.files))
        record.files.append({file.newName, file.oldName, {file.id, S_IFREG, file.stamp.size, file.stamp.modifiedNs}});
    RenameStep recordRead;
    QVERIFY(parseRenameStep(renameStepText(record), recordRead));
    QCOMPARE(recordRead.folder, record.folder);
    QCOMPARE(recordRead.files.size(), record.files.size());
    for (qsizetype i = 0; i < record.files.size(); ++i) {
        QCOMPARE(recordRead.files.at(i).name, record.files.at(i).name);
        QCOMPARE(recordRead.files.at(i).formerName, record.files.at(i).formerName);
        QVERIFY(recordRead.files.at(i).stamp == record.files.at(i).stamp);
    }
}

void TestJournal::historyKeepsTheNewestWithinItsBound()
{
    // Each step renames the one file on: a0 → a1 → … → a5, with room for three steps.
    makeFiles({QStringLiteral("a0.txt")});
    const auto renameTo = [this](int number, const HistoryBound &bound) {
        const QString from = QStringLiteral("a%1.txt").arg(number - 1);
        const QString to = QStringLiteral("a%1.txt").arg(number);
        QVERIFY(QFile::rename(joinPath(folder(), from), joinPath(folder(), to)));
        QVERIFY(recordInHistory(m_real, prog(), folder(), {{from, to}}, {}, bound).ok());
    };
    for (int number = 1; number <= 5; ++number)
        renameTo(number, HistoryBound{3, 1 << 20});
    HistoryStep found;
    QString problem;
    while (nextStep(prog(), TakeBack::Undo, found, problem))
        QVERIFY(takeBackStep(m_real, prog(), found, NameFilter()).recorded.ok());
    QVERIFY(problem.isEmpty());
    QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList{QStringLiteral("a2.txt")});

    // A new rename cuts the three steps waiting to be redone; one step over the byte bound stays.
    renameTo(3, HistoryBound{100, 1});
    QVERIFY(!nextStep(prog(), TakeBack::Redo, found, problem));
    QCOMPARE(QDir(renameHistoryPathOf(prog())).entryList(QDir::Files).size(), 1);
    QVERIFY(nextStep(prog(), TakeBack::Undo, found, problem));
    QCOMPARE(found.step.files.constFirst().formerName, QStringLiteral("a2.txt"));
}

void TestJournal::folderStepUndoneAndRedone()
{
    // 写真 in CP932, holding a file, given its UTF-8 name by the folder list's conversion.
    const QString cp932Name = nameFromBytes("\x8e\xca\x90\x5e");
    const QString cp932 = joinPath(folder(), cp932Name);
    const QString utf8 = joinPath(folder(), QStringLiteral("写真"));
    QVERIFY(m_real.makeFolder(cp932).ok());
    writeFile(joinPath(cp932, QStringLiteral("a.jpg")), "a");
    QVERIFY(m_real.move(cp932, utf8).ok());
    QVERIFY(recordInHistory(m_real, prog(), folder(), {{cp932Name, QStringLiteral("写真")}}).ok());
    // A file written in the folder since changes its time and size, not the folder's own name.
    writeFile(joinPath(utf8, QStringLiteral("b.jpg")), "b");

    // Every step is read from the disk again, as after a restart.
    HistoryStep found;
    QString problem;
    const auto take = [&](TakeBack direction) {
        if (!nextStep(prog(), direction, found, problem))
            return TakeBackResult();
        return takeBackStep(m_real, prog(), found, NameFilter());
    };
    TakeBackResult result = take(TakeBack::Undo);
    QVERIFY(found.step.renamesFolder());
    QCOMPARE(result.report.outcome, BatchOutcome::Done);
    QVERIFY(result.recorded.ok());
    QVERIFY(!m_real.exists(utf8));
    QCOMPARE(readFile(joinPath(cp932, QStringLiteral("b.jpg"))), QByteArray("b"));
    QVERIFY(!nextStep(prog(), TakeBack::Undo, found, problem) && problem.isEmpty());

    // Another folder under the name the redo gives: the move refuses, nothing is replaced.
    QVERIFY(QDir().mkpath(utf8));
    result = take(TakeBack::Redo);
    QCOMPARE(result.report.outcome, BatchOutcome::Refused);
    QVERIFY(m_real.exists(joinPath(cp932, QStringLiteral("a.jpg"))));
    QVERIFY(QDir().rmdir(utf8));
    // Another folder under the step's own name is not the one it left: refused whole, and said so.
    QVERIFY(m_real.move(cp932, cp932 + QStringLiteral(".moved")).ok());
    QVERIFY(m_real.makeFolder(cp932).ok());
    result = take(TakeBack::Redo);
    QCOMPARE(result.changed.size(), 1);
    QCOMPARE(result.changed.constFirst().change, FileChange::Replaced);
    QVERIFY(changedFilesMessage(found.step, result.changed).startsWith(QStringLiteral("次のフォルダは元に戻した後に変わったため、やり直せません。")));
    QVERIFY(m_real.removeFolder(cp932).ok());
    QVERIFY(m_real.move(cp932 + QStringLiteral(".moved"), cp932).ok());

    result = take(TakeBack::Redo);
    QCOMPARE(result.report.outcome, BatchOutcome::Done);
    QCOMPARE(snapshot(utf8).keys(), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    QVERIFY(nextStep(prog(), TakeBack::Undo, found, problem) && found.step.renamesFolder());
    clearFolder(folder());
}

void TestJournal::journalOnDiskBeforeFirstMove()
{
    const QStringList names = {QStringLiteral("a b.txt"), QStringLiteral("c\td.txt"), QStringLiteral("写真 1.jpg")};
    makeFiles(names);
    const QStringList listing = listFolderFiles(folder(), NameFilter());
    QHash<QString, FileId> ids;
    for (const QString &name : listing)
        ids.insert(name, m_real.fileId(joinPath(folder(), name)));

    // Reads the journal from disk when the first file is about to move.
    class Reader : public BatchJournal
    {
    public:
        using BatchJournal::BatchJournal;
        void moving(const BatchMove &move) override
        {
            if (seen.isEmpty())
                seen = readFile(path());
            BatchJournal::moving(move);
        }
        QByteArray seen;
    } record(m_real, prog());
    BatchMover batch(m_real, BatchPlan(m_real, BatchRequest{folder(), listing, work(), NameFilter(), [](int, const QString &oldName) {
                                               return NewName::of(QString(oldName).remove(QLatin1Char(' ')));
                                           }}),
                       &record);
    QCOMPARE(batch.run().outcome, BatchOutcome::Done);
    QCOMPARE(record.path(), QDir(prog()).filePath(QStringLiteral(".xxxxxxx.journal")));

    Journal read;
    QString reason;
    QVERIFY2(readJournal(record.seen, read, reason), qPrintable(reason));
    QCOMPARE(read.folder, folder());
    QCOMPARE(read.holdingFolder, work());
    QCOMPARE(read.folderDevice, m_real.fileId(folder()).device);
    QCOMPARE(read.files.size(), listing.size());
    for (int i = 0; i < listing.size(); ++i) {
        QCOMPARE(read.files.at(i).oldName, listing.at(i));
        QCOMPARE(read.files.at(i).newName, batch.moves().at(i).newName);
        QVERIFY(read.files.at(i).id == ids.value(listing.at(i)));
    }
    QVERIFY(!m_real.exists(journal()));
    QVERIFY(!m_real.exists(journal() + QStringLiteral(".new")));
}

void TestJournal::endedBatchLeavesNoJournal_data()
{
    QTest::addColumn<Route>("route");
    QTest::addColumn<int>("refusedMove"); // 0: none
    QTest::addColumn<BatchOutcome>("outcome");
    QTest::newRow("done") << Route::Direct << 0 << BatchOutcome::Done;
    QTest::newRow("done through the staging folder") << Route::Staged << 0 << BatchOutcome::Done;
    QTest::newRow("rolled back in phase 1") << Route::Direct << 3 << BatchOutcome::RolledBack;
    QTest::newRow("rolled back in phase 2") << Route::Direct << 8 << BatchOutcome::RolledBack;
    QTest::newRow("first move refused") << Route::Staged << 1 << BatchOutcome::RolledBack;
}

void TestJournal::endedBatchLeavesNoJournal()
{
    QFETCH(Route, route);
    QFETCH(int, refusedMove);
    QFETCH(BatchOutcome, outcome);
    makeFiles(Names);
    const Snapshot before = snapshot(folder());
    CrashingFileSystem fs(m_real, 0, {refusedMove}, route == Route::Staged);

    QCOMPARE(runJournaled(fs, rotating(Names)).outcome, outcome);
    QVERIFY(!fs.wrongRoute());
    QCOMPARE(snapshot(prog()).keys(), QStringList{QStringLiteral("xxxxxxx")});
    if (outcome == BatchOutcome::RolledBack)
        QCOMPARE(snapshot(folder()), before);
    else
        QCOMPARE(snapshot(folder()).value(Names.at(1)), before.value(Names.at(0)));
}

void TestJournal::unwritableJournalRefusesBatch()
{
    makeFiles(Names);
    QVERIFY(QDir().mkpath(journal() + QStringLiteral(".new")));
    FaultyFileSystem fs(m_real);
    const BatchReport report = runJournaled(fs, rotating(Names));
    QCOMPARE(report.outcome, BatchOutcome::Refused);
    QCOMPARE(report.problems.first().problem, BatchProblem::PlanRefused);
    QVERIFY(report.problems.first().detail.contains(journal()));
    QCOMPARE(fs.moveCount(), 0);
    QVERIFY(!m_real.exists(journal()));
}

void TestJournal::strandedBatchRetriedAtNextStart()
{
    makeFiles(Names);
    const Snapshot before = snapshot(folder());
    // Phase 1 stops at the third file, and the undo of the first one fails: it stays in the work folder.
    CrashingFileSystem fs(m_real, 0, {3, 5});
    QCOMPARE(runJournaled(fs, rotating(Names)).outcome, BatchOutcome::Stranded);
    QVERIFY(m_real.exists(journal()));
    QCOMPARE(snapshot(work()).keys(), QStringList{Names.at(1)});

    const RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    QCOMPARE(report.outcome, RecoveryOutcome::Restored);
    QCOMPARE(report.restored, 1);
    QCOMPARE(snapshot(folder()), before);
    QVERIFY(snapshot(work()).isEmpty());
    QVERIFY(!m_real.exists(journal()));
    const QString message = recoveryMessage(report);
    QVERIFY(message.contains(folder()));
    QVERIFY(message.contains(QStringLiteral("元の名前に戻したファイル：1 個")));
}

void TestJournal::laterBatchKeepsStrandedJournalAside()
{
    makeFiles(Names);
    CrashingFileSystem fs(m_real, 0, {3, 5});
    QCOMPARE(runJournaled(fs, rotating(Names)).outcome, BatchOutcome::Stranded);
    const QByteArray stranded = readFile(journal());
    QVERIFY(stranded.endsWith("undo\nstranded\n"));

    QCOMPARE(runJournaled(m_real, [](int, const QString &oldName) { return NewName::of(QStringLiteral("new ") + oldName); }).outcome,
             BatchOutcome::Done);
    const QStringList aside = asideJournals(QStringLiteral("stranded"));
    QCOMPARE(aside.size(), 1);
    QCOMPARE(readFile(QDir(prog()).filePath(aside.first())), stranded);
    QVERIFY(!m_real.exists(journal()));
}

void TestJournal::crashAtAnyMoveIsUndone_data()
{
    QTest::addColumn<Route>("route");
    QTest::addColumn<int>("refusedMove"); // makes the batch roll back; 0: none
    QTest::addColumn<int>("crashAt");
    QTest::addColumn<int>("step");
    const int moves = int(Names.size()) * 2;
    for (const Route route : {Route::Direct, Route::Staged}) {
        const char *routeName = route == Route::Direct ? "work folder" : "staging folder";
        for (const int step : {1, -1}) {
            for (int crashAt = 1; crashAt <= moves; ++crashAt)
                QTest::addRow("%s, step %d, move %d", routeName, step, crashAt) << route << 0 << crashAt << step;
            // Refused at the fourth file of phase 2: three files go out again, then five come home.
            for (int crashAt = 10; crashAt <= 17; ++crashAt)
                QTest::addRow("%s, step %d, undo, move %d", routeName, step, crashAt) << route << 9 << crashAt << step;
        }
    }
}

void TestJournal::crashAtAnyMoveIsUndone()
{
    QFETCH(Route, route);
    QFETCH(int, refusedMove);
    QFETCH(int, crashAt);
    QFETCH(int, step);
    makeFiles(Names);
    writeFile(joinPath(work(), QStringLiteral("left by someone.txt")), "leftover");
    const Snapshot before = snapshot(folder());
    QVERIFY(crashBatch(m_real, crashAt, rotating(Names, step), refusedMove, route == Route::Staged));
    QVERIFY(m_real.exists(journal()));

    const RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    QCOMPARE(report.outcome, RecoveryOutcome::Restored);
    QCOMPARE(report.folder, folder());
    QCOMPARE(snapshot(folder()), before);
    QCOMPARE(snapshot(work()).keys(), QStringList{QStringLiteral("left by someone.txt")});
    QCOMPARE(snapshot(prog()).keys(), QStringList{QStringLiteral("xxxxxxx")});
    QCOMPARE(recoverInterruptedBatch(m_real, prog()).outcome, RecoveryOutcome::NoJournal);
}

void TestJournal::crashAmongRawNamesIsUndoneByteForByte()
{
    // CP932 names (one with a 0x5F trail byte), two that differ in one invalid byte, and UTF-8.
    for (const QByteArrayView name : {"\x83\x5f_1.txt", "\x8e\xca\x90\x5e 1.jpg", "caf\xe9_.txt", "caf\xe8_.txt", "a_b.txt"})
        writeFile(joinPath(folder(), nameFromBytes(name)), name.toByteArray());
    const Snapshot before = snapshot(folder());
    const NameRule rule = [](int, const QString &oldName) { return NewName::of(QString(oldName).remove(QLatin1Char('_'))); };
    for (const int crashAt : {3, 7}) {
        QVERIFY(crashBatch(m_real, crashAt, rule));
        QCOMPARE(recoverInterruptedBatch(m_real, prog()).outcome, RecoveryOutcome::Restored);
        QCOMPARE(snapshot(folder()), before);
    }
    clearFolder(folder());
}

void TestJournal::crashDuringRecoveryIsFinishedNextTime_data()
{
    QTest::addColumn<int>("crashAt");
    QTest::addColumn<int>("step");
    // Killed at the third file of phase 2: two files back under new names that are the old
    // names of others, three in the work folder. Putting them back takes at most seven moves.
    for (const int step : {1, -1}) {
        for (int crashAt = 1; crashAt <= 7; ++crashAt)
            QTest::addRow("step %d, recovery move %d", step, crashAt) << crashAt << step;
    }
}

void TestJournal::crashDuringRecoveryIsFinishedNextTime()
{
    QFETCH(int, crashAt);
    QFETCH(int, step);
    makeFiles(Names);
    const Snapshot before = snapshot(folder());
    QVERIFY(crashBatch(m_real, 8, rotating(Names, step)));

    CrashingFileSystem crashing(m_real, crashAt);
    bool crashed = false;
    try {
        recoverInterruptedBatch(crashing, prog());
    } catch (const Crash &) {
        crashed = true;
    }
    QVERIFY(crashed);
    QVERIFY(m_real.exists(journal()));

    const RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    QCOMPARE(report.outcome, RecoveryOutcome::Restored);
    QCOMPARE(snapshot(folder()), before);
    QVERIFY(snapshot(work()).isEmpty());
    QVERIFY(!m_real.exists(journal()));
}

void TestJournal::completedBatchKeepsItsNames()
{
    makeFiles(Names);
    const Snapshot before = snapshot(folder());
    writeFile(joinPath(work(), QStringLiteral("leftover.txt")), "leftover");
    // The eleventh move is the sweep of the leftover, after every file came back.
    QVERIFY(crashBatch(m_real, 11, rotating(Names)));
    QVERIFY(readFile(journal()).endsWith("phase 2\ncomplete\n"));

    const RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    QCOMPARE(report.outcome, RecoveryOutcome::Completed);
    QVERIFY(recoveryMessage(report).isEmpty());
    const Snapshot after = snapshot(folder());
    for (int i = 0; i < Names.size(); ++i)
        QCOMPARE(after.value(Names.at((i + 1) % Names.size())), before.value(Names.at(i)));
    QCOMPARE(snapshot(work()).keys(), QStringList{QStringLiteral("leftover.txt")});
    QVERIFY(!m_real.exists(journal()));
}

void TestJournal::markerContradictedByFilesIsNotTrusted()
{
    makeFiles(Names);
    const Snapshot before = snapshot(folder());
    writeFile(joinPath(work(), QStringLiteral("leftover.txt")), "leftover");
    QVERIFY(crashBatch(m_real, 11, rotating(Names)));
    // As if the last move back had not reached the disk although the marker did.
    QVERIFY(m_real.move(joinPath(folder(), Names.at(0)), joinPath(work(), Names.at(0))).ok());

    const RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    QCOMPARE(report.outcome, RecoveryOutcome::Restored);
    QCOMPARE(snapshot(folder()), before);
}

void TestJournal::fileFoundUnderAnyName()
{
    makeFiles(Names);
    const Snapshot before = snapshot(folder());
    QVERIFY(crashBatch(m_real, 4, rotating(Names)));
    // Someone renamed a waiting file, and moved another into the staging folder's place.
    QVERIFY(m_real.move(joinPath(work(), Names.at(1)), joinPath(work(), QStringLiteral("renamed"))).ok());
    QVERIFY(QDir().mkpath(stagingFolderOf(folder())));
    QVERIFY(m_real.move(joinPath(work(), Names.at(2)), joinPath(stagingFolderOf(folder()), QStringLiteral("x"))).ok());

    const RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    QCOMPARE(report.outcome, RecoveryOutcome::Restored);
    QCOMPARE(report.restored, 3);
    QCOMPARE(snapshot(folder()), before);
    QVERIFY(snapshot(work()).isEmpty());
}

void TestJournal::recognitionNeverGuesses_data()
{
    QTest::addColumn<bool>("stableIds"); // as the batch's filesystem said
    QTest::addColumn<QString>("change"); // to the waiting files after the crash
    QTest::addColumn<RecoveryOutcome>("outcome");
    QTest::newRow("card renumbered, recorded as renumbering") << false << "renumber" << RecoveryOutcome::Restored;
    QTest::newRow("card whose renames give new times, recorded so") << false << "retime" << RecoveryOutcome::Restored;
    QTest::newRow("renumbered where ids are trusted") << true << "renumber" << RecoveryOutcome::Partial;
    QTest::newRow("file rewritten, ids trusted") << true << "rewrite" << RecoveryOutcome::Unrecognised;
    QTest::newRow("file rewritten, card renumbering") << false << "rewrite" << RecoveryOutcome::Unrecognised;
    QTest::newRow("another filesystem in the folder's place") << true << "otherfs" << RecoveryOutcome::Unrecognised;
}

// A file counts as the planned one only by its id with its size and time, or, where ids are
// not kept, at a name the record expects with its size and time; anything else moves nothing.
void TestJournal::recognitionNeverGuesses()
{
    QFETCH(bool, stableIds);
    QFETCH(QString, change);
    QFETCH(RecoveryOutcome, outcome);
    // A folder named in CP932 (写真), as archives from Windows unpack.
    m_folder = joinPath(m_root->path(), nameFromBytes("\x8e\xca\x90\x5e"));
    QVERIFY(m_real.makeFolder(m_folder).ok());
    const auto tidy = qScopeGuard([&] { clearFolder(m_root->path()); });
    makeFiles(Names);
    const Snapshot before = snapshot(folder());
    CrashingFileSystem recording(m_real, 4);
    recording.setFilesystemKind({m_real.filesystemKind(folder()).type, stableIds});
    QVERIFY_THROWS_EXCEPTION(Crash, runJournaled(recording, rotating(Names)));
    QVERIFY(!recording.wrongRoute());
    const QStringList waiting = QDir(work()).entryList(QDir::Files);
    QCOMPARE(waiting.size(), 3);
    const bool inPlace = stableIds && change == QLatin1String("rewrite");
    if (inPlace) {
        QFile rewritten(joinPath(work(), waiting.first()));
        QVERIFY(rewritten.open(QIODevice::Append));
        rewritten.write("!");
    }
    for (const QString &name : inPlace ? QStringList() : waiting) {
        // The same name, size and time under a new inode number, as a card plugged in again shows.
        const QString path = joinPath(work(), name);
        const QByteArray content = readFile(path);
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QVERIFY(QFile::rename(path, path + QStringLiteral(".old")));
        writeFile(path, change == QLatin1String("rewrite") && name == waiting.first() ? content + "!" : content);
        const struct timespec times[2] = {st.st_atim, change == QLatin1String("retime") ? timespec{1, 0} : st.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }
    if (change == QLatin1String("retime")) {
        QFile record(journal());
        QVERIFY(record.open(QIODevice::Append));
        record.write("rename changes times\n");
    }
    const Snapshot folderAfterCrash = snapshot(folder());
    FaultyFileSystem recovering(m_real);
    if (change == QLatin1String("otherfs"))
        recovering.setFilesystemKind({0x4d44, false});
    for (const QString &name : inPlace ? QStringList() : waiting)
        QVERIFY(QFile::remove(joinPath(work(), name + QStringLiteral(".old"))));
    const Snapshot workAfterCrash = snapshot(work());

    const RecoveryReport report = recoverInterruptedBatch(recovering, prog());
    QCOMPARE(report.outcome, outcome);
    if (outcome == RecoveryOutcome::Restored) {
        QCOMPARE(snapshot(folder()), before);
        return;
    }
    if (outcome == RecoveryOutcome::Unrecognised) {
        QCOMPARE(snapshot(folder()), folderAfterCrash);
        QCOMPARE(snapshot(work()), workAfterCrash);
        QVERIFY(recoveryMessage(report).contains(work()));
    }
    QCOMPARE(report.restored, 0);
    QCOMPARE(asideJournals(QStringLiteral("kept")).size(), 1);
    QVERIFY(!recoveryMessage(report).contains(QStringLiteral("戻しました")));
    QVERIFY2(recoveryMessage(report).contains(m_root->path() + QStringLiteral("/写真\n")), qPrintable(recoveryMessage(report)));
}

void TestJournal::linkMoveCutShortLeavesNoExtraName_data()
{
    QTest::addColumn<int>("crashAt");
    QTest::addColumn<QString>("left"); // by the step of the cut-short move that the journal names
    QTest::newRow("claim, phase 1 (exFAT, FAT)") << 3 << "claim";
    QTest::newRow("claim on an old name, phase 2") << 8 << "claim";
    QTest::newRow("link on an old name, phase 2 (NTFS)") << 8 << "link";
    QTest::newRow("link shown as a file of its own (SSHFS)") << 8 << "copy";
    QTest::newRow("same bytes at another time: not the batch's") << 8 << "stranger";
}

// Killed between the link and the unlink of a move: the file has its old name and a new one; or
// between the claim of a new name and the rename onto it: an empty file has the new name. The
// journal named that step before it was taken.
void TestJournal::linkMoveCutShortLeavesNoExtraName()
{
    QFETCH(int, crashAt);
    QFETCH(QString, left);
    makeFiles(Names);
    const Snapshot before = snapshot(folder());
    QVERIFY(crashBatch(m_real, crashAt, rotating(Names)));
    auto link = [](const QString &from, const QString &to) {
        return ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
    };
    const int index = (crashAt - 1) % int(Names.size());
    const bool out = crashAt <= Names.size();
    const QString from = joinPath(out ? folder() : work(), Names.at(out ? index : index + 1));
    const QString to = joinPath(out ? work() : folder(), Names.at(index + 1));
    if (left == QLatin1String("claim")) {
        writeFile(to, QByteArray());
    } else if (left == QLatin1String("link")) {
        QVERIFY(link(from, to));
    } else {
        QVERIFY(QFile::copy(from, to));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(from).constData(), &st), 0);
        const struct timespec times[2] = {st.st_atim, left == QLatin1String("copy") ? st.st_mtim : timespec{1, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(to).constData(), times, 0), 0);
    }
    QFile record(journal());
    QVERIFY(record.open(QIODevice::Append));
    record.write((left == QLatin1String("claim") ? "claim\t" : "link\t") + from.toUtf8() + '\t' + to.toUtf8() + '\n');
    record.close();

    const RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    if (left == QLatin1String("stranger")) {
        QCOMPARE(report.outcome, RecoveryOutcome::Partial);
        QCOMPARE(readFile(to), before.value(Names.at(index)));
        return;
    }
    QCOMPARE(report.outcome, RecoveryOutcome::Restored);
    QCOMPARE(snapshot(folder()), before);
    QVERIFY(snapshot(work()).isEmpty());
    if (out && left == QLatin1String("claim")) {
        // Where no record explains it, the next batch drops an extra name instead of being blocked by it.
        QVERIFY(link(joinPath(folder(), Names.at(0)), joinPath(work(), Names.at(1))));
        // Its preview agrees, and leaves the name where it is.
        QVERIFY(BatchPlan(m_real, BatchRequest{folder(), Names, work(), NameFilter(), rotating(Names)}).ok());
        QVERIFY(m_real.exists(joinPath(work(), Names.at(1))));
        QCOMPARE(runJournaled(m_real, rotating(Names)).outcome, BatchOutcome::Done);
        QCOMPARE(readFile(joinPath(folder(), Names.at(1))), QByteArray("content of n1.txt"));
        QVERIFY(snapshot(work()).isEmpty());
    }
}

void TestJournal::crashBeforeJournalLeavesNoStagingFolder()
{
    struct CrashingRecord : BatchObserver {
        FsResult planned(const BatchMover &) override { throw Crash(); }
    } record;
    makeFiles(Names);
    CrashingFileSystem fs(m_real, 0, {}, true);
    BatchMover batch(fs, BatchPlan(fs, BatchRequest{folder(), Names, work(), NameFilter(), rotating(Names)}), &record);
    QVERIFY_THROWS_EXCEPTION(Crash, batch.run());
    QVERIFY(!m_real.exists(stagingFolderOf(folder())));
}

void TestJournal::damagedJournalIsNeverActedOn_data()
{
    QTest::addColumn<QByteArray>("damage"); // what to do to the journal: cut:N, replace:A>B, append:T, whole:T
    QTest::addColumn<QString>("reason");
    const QString cut = QStringLiteral("記録が途中で切れています");
    const QString changed = QStringLiteral("記録が書き換えられています");
    QTest::newRow("empty") << QByteArray("cut:0") << cut;
    QTest::newRow("cut in the first line") << QByteArray("cut:8") << cut;
    QTest::newRow("cut in a file line") << QByteArray("cut:150") << cut;
    QTest::newRow("cut in the check line") << QByteArray("cut:-20") << cut;
    QTest::newRow("new name changed by hand") << QByteArray("replace:\tn3.txt\n>\tn9.txt\n") << changed;
    QTest::newRow("inode changed by hand") << QByteArray("replace:file\t>file\t1") << changed;
    QTest::newRow("check line changed") << QByteArray("replace:blake2b-256:>blake2b-256:0") << changed;
    QTest::newRow("checksum renamed") << QByteArray("replace:blake2b-256:>sha256:") << changed;
    QTest::newRow("file line broken") << QByteArray("replace:file\t>x") << changed;
    QTest::newRow("another version") << QByteArray("replace:journal 3>journal 4") << QStringLiteral("この版の記録は読めません（mivot batch journal 4）");
    QTest::newRow("pre-release version") << QByteArray("replace:journal 3>journal 2") << QStringLiteral("この版の記録は読めません（mivot batch journal 2）");
    QTest::newRow("some other file") << QByteArray("whole:[拡張子]\n添付=True\n") << QStringLiteral("作業の記録ではありません");
}

void TestJournal::damagedJournalIsNeverActedOn()
{
    QFETCH(QByteArray, damage);
    QFETCH(QString, reason);
    makeFiles(Names);
    QVERIFY(crashBatch(m_real, 8, rotating(Names)));
    QByteArray text = readFile(journal());
    const qsizetype colon = damage.indexOf(':');
    const QByteArray how = damage.left(colon);
    const QByteArray what = damage.mid(colon + 1);
    if (how == "cut") {
        const int at = what.toInt();
        text.truncate(at < 0 ? text.size() + at : at);
    } else if (how == "replace") {
        const qsizetype arrow = what.indexOf('>');
        const QByteArray from = what.left(arrow);
        QVERIFY(text.contains(from));
        text.replace(text.indexOf(from), from.size(), what.mid(arrow + 1));
    } else if (how == "append") {
        text += what;
    } else {
        text = what;
    }
    writeFile(journal(), text);
    const Snapshot folderBefore = snapshot(folder());
    const Snapshot workBefore = snapshot(work());

    Journal read;
    QString why;
    QVERIFY(!readJournal(text, read, why));
    QCOMPARE(why, reason);
    const RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    QCOMPARE(report.outcome, RecoveryOutcome::Unreadable);
    QCOMPARE(report.problem, reason);
    QCOMPARE(snapshot(folder()), folderBefore);
    QCOMPARE(snapshot(work()), workBefore);
    QVERIFY(!m_real.exists(journal()));
    const QStringList aside = asideJournals(QStringLiteral("broken"));
    QCOMPARE(aside.size(), 1);
    QCOMPARE(QDir(prog()).filePath(aside.first()), report.keptAs);
    QCOMPARE(readFile(report.keptAs), text);
    const QString message = recoveryMessage(report);
    QVERIFY(message.contains(reason));
    QVERIFY(message.contains(report.keptAs));
}

void TestJournal::tornTailIsIgnored_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<bool>("complete");
    QTest::newRow("marker cut short") << QByteArray("compl") << false;
    QTest::newRow("zero bytes of a power cut") << QByteArray(8, '\0') << false;
    QTest::newRow("unknown line") << QByteArray("rm -rf\n") << false;
    QTest::newRow("garbage before a marker") << QByteArray("\0\0x\ncomplete\n", 13) << false;
    QTest::newRow("zero bytes after a marker") << QByteArray("complete\n\0\0\0\0", 13) << true;
}

// The sealed plan is enough: whatever follows the last complete marker says nothing.
void TestJournal::tornTailIsIgnored()
{
    QFETCH(QByteArray, tail);
    QFETCH(bool, complete);
    makeFiles(Names);
    const Snapshot before = snapshot(folder());
    QVERIFY(crashBatch(m_real, 8, rotating(Names)));
    QFile file(journal());
    QVERIFY(file.open(QIODevice::Append));
    file.write(tail);
    file.close();

    Journal read;
    QString reason;
    QVERIFY2(readJournal(readFile(journal()), read, reason), qPrintable(reason));
    QVERIFY(read.backStarted);
    QCOMPARE(read.complete, complete);
    QCOMPARE(recoverInterruptedBatch(m_real, prog()).outcome, RecoveryOutcome::Restored);
    QCOMPARE(snapshot(folder()), before);
}

void TestJournal::folderGoneKeepsFilesAndJournal()
{
    makeFiles(Names);
    QVERIFY(crashBatch(m_real, 3, rotating(Names)));
    const QString elsewhere = m_root->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().rename(folder(), elsewhere));
    const Snapshot workBefore = snapshot(work());
    const QByteArray text = readFile(journal());

    const RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    QCOMPARE(report.outcome, RecoveryOutcome::FolderMissing);
    QCOMPARE(snapshot(work()), workBefore);
    QVERIFY(!m_real.exists(folder()));
    QCOMPARE(report.unrestored.size(), Names.size());
    QCOMPARE(report.unrestored.at(0).path, joinPath(work(), Names.at(1)));
    QCOMPARE(report.unrestored.at(1).path, joinPath(work(), Names.at(2)));
    QVERIFY(report.unrestored.at(2).path.isEmpty());
    QCOMPARE(asideJournals(QStringLiteral("kept")).size(), 1);
    QCOMPARE(readFile(report.keptAs), text);
    const QString message = recoveryMessage(report);
    QVERIFY(message.contains(folder()));
    QVERIFY(message.contains(QStringLiteral("・n1.txt は今 %1 にあります").arg(joinPath(work(), Names.at(1)))));
    QVERIFY(message.contains(QStringLiteral("・n3.txt は見つかりませんでした")));
    QVERIFY(message.contains(report.keptAs));
}

// A copy of the card, taken before the batch, in the slot at the next start: no token of the batch
// in its staging folder, so nothing moves and the journal waits for the card itself.
void TestJournal::copyOfCardKeepsFilesAndJournal()
{
    makeFiles(Names);
    const Snapshot before = snapshot(folder());
    QVERIFY(crashBatch(m_real, 8, rotating(Names), 0, true));
    const QString staging = stagingFolderOf(folder());
    const QString card = m_root->filePath(QStringLiteral("card"));
    QVERIFY(QDir().rename(folder(), card));
    QVERIFY(QDir().mkpath(folder()));
    makeFiles(Names);

    RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    QCOMPARE(report.outcome, RecoveryOutcome::Unrecognised);
    QVERIFY(report.otherMedium);
    QCOMPARE(snapshot(folder()), before);
    QVERIFY2(recoveryMessage(report).contains(QStringLiteral("一括リネームをしたときのディスク")), qPrintable(recoveryMessage(report)));
    QCOMPARE(asideJournals(QStringLiteral("kept")).size(), 1);

    QVERIFY(QDir(folder()).removeRecursively() && QDir().rename(card, folder()));
    const QList<RecoveryReport> reports = recoverInterruptedBatches(m_real, prog());
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first().outcome, RecoveryOutcome::Restored);
    QCOMPARE(snapshot(folder()), before);
    QVERIFY(!m_real.exists(staging));
    QVERIFY(asideJournals(QStringLiteral("kept")).isEmpty());
}

void TestJournal::takenOldNameIsNotOverwritten()
{
    makeFiles(Names);
    QVERIFY(crashBatch(m_real, 3, rotating(Names)));
    writeFile(joinPath(folder(), Names.at(0)), "a new file under the old name");

    const RecoveryReport report = recoverInterruptedBatch(m_real, prog());
    QCOMPARE(report.outcome, RecoveryOutcome::Partial);
    QCOMPARE(report.restored, 1);
    QCOMPARE(readFile(joinPath(folder(), Names.at(0))), QByteArray("a new file under the old name"));
    QCOMPARE(readFile(joinPath(folder(), Names.at(1))), QByteArray("content of n2.txt"));
    QCOMPARE(readFile(joinPath(work(), Names.at(1))), QByteArray("content of n1.txt"));
    QCOMPARE(report.unrestored.size(), 1);
    QCOMPARE(report.unrestored.first().oldName, Names.at(0));
    QCOMPARE(report.unrestored.first().path, joinPath(work(), Names.at(1)));
    QVERIFY(!m_real.exists(journal()));
    QCOMPARE(asideJournals(QStringLiteral("kept")).size(), 1);
    const QString message = recoveryMessage(report);
    QVERIFY(message.contains(QStringLiteral("元の名前に戻したファイル：1 個")));
    QVERIFY(message.contains(QStringLiteral("・n1.txt は今 %1 にあります").arg(joinPath(work(), Names.at(1)))));

    // Every start tries again, and says so without claiming files it did not move.
    QList<RecoveryReport> again = recoverInterruptedBatches(m_real, prog());
    QCOMPARE(again.size(), 1);
    QCOMPARE(again.first().outcome, RecoveryOutcome::Partial);
    QCOMPARE(again.first().restored, 0);
    QVERIFY(!recoveryMessage(again.first()).contains(QStringLiteral("戻しました")));
    QVERIFY(recoveryMessage(again.first()).contains(QStringLiteral("次回の起動時にもう一度戻します")));
    QVERIFY(QFile::rename(joinPath(folder(), Names.at(0)), m_root->filePath(QStringLiteral("moved away"))));
    again = recoverInterruptedBatches(m_real, prog());
    QCOMPARE(again.size(), 1);
    QCOMPARE(again.first().outcome, RecoveryOutcome::Restored);
    QCOMPARE(readFile(joinPath(folder(), Names.at(0))), QByteArray("content of n1.txt"));
    QVERIFY(asideJournals(QStringLiteral("kept")).isEmpty());
    QVERIFY(recoverInterruptedBatches(m_real, prog()).isEmpty());
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
