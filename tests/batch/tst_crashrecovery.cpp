#include "batch/journal.h"
#include "batch/serialname.h"
#include "batch/twophasemove.h"
#include "main/form1.h"
#include "platform/programfolder.h"
#include "support/faultyfilesystem.h"
#include "support/lookalikemount.h"
#include "support/realmount.h"
#include "support/testfiles.h"
#include "support/scriptedmessages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

// Enough files that the kill lands well inside each phase, as in a real large batch.
constexpr int FileCount = 3000;

// Names as each rule wants them: spaces to remove, or serial numbers to shift by one, so that
// every new name but the last is another file's old name.
QString nameOf(const QString &rule, int i)
{
    if (rule == QLatin1String("space"))
        return QStringLiteral("IMG %1 のコピー (2).jpg").arg(i, 4, 10, QLatin1Char('0'));
    if (rule == QLatin1String("case"))
        return QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
    // A camera's capitals from F2: each serial name "f1.DAT"... stands on the next file's name
    // where case does not count.
    if (rule == QLatin1String("capitals"))
        return QStringLiteral("F%1.DAT").arg(i + 2);
    return QStringLiteral("f%1.dat").arg(i);
}

bool makeFiles(const QString &folder, const QString &rule, int count = FileCount)
{
    for (int i = 0; i < count; ++i) {
        QFile file(joinPath(folder, nameOf(rule, i)));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(i) + " of " + nameOf(rule, i).toUtf8()) < 0)
            return false;
    }
    return true;
}

} // namespace

class TestCrashRecovery : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void killedBatchIsUndoneAtNextStart_data();
    void killedBatchIsUndoneAtNextStart();
    void killedRecoveryIsFinishedAtNextStart();
    void killedUndoIsUndoneAtNextStart_data();
    void killedUndoIsUndoneAtNextStart();
    void startWithJournalOfVanishedFolder();
    void startWithHandEditedJournal();
    void windowBatchLeavesNoJournal_data();
    void windowBatchLeavesNoJournal();
    void windowBatchRefusedWhenJournalCannotBeWritten();
    void lookalikeMountKeepsEveryFile_data();
    void lookalikeMountKeepsEveryFile();
    void realMediaKeepEveryFile_data();
    void realMediaKeepEveryFile();

private:
    QString prog() const { return m_root->filePath(QStringLiteral("prog")); }
    QString folder() const { return m_root->filePath(QStringLiteral("files")); }
    QString work() const { return workFolderOf(prog()); }
    QString journal() const { return journalPathOf(prog()); }
    // Runs the victim and expects it to die by SIGKILL before the given move.
    void killVictim(const QStringList &arguments);
    // Starts the window again in this process, as the user would, and returns what it said.
    QList<ScriptedMessages::Shown> startAgain();

    std::unique_ptr<QTemporaryDir> m_root;
};

void TestCrashRecovery::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    QVERIFY(QDir().mkpath(prog()));
    QVERIFY(QDir().mkpath(folder()));
}

void TestCrashRecovery::killVictim(const QStringList &arguments)
{
    QProcess victim;
    victim.start(QStringLiteral(CRASH_VICTIM), arguments);
    QVERIFY2(victim.waitForFinished(240000), "the victim did not end");
    const QString &move = arguments.last();
    const QString killed = move.endsWith(QLatin1Char('+')) ? QStringLiteral("killed inside move %1\n").arg(move.chopped(1))
                                                           : QStringLiteral("killed before move %1\n").arg(move);
    // What it did instead: how it ended (the signal, where it crashed) and all it wrote.
    const QString output = QString::fromUtf8(victim.readAllStandardOutput());
    const QString ended = victim.exitStatus() == QProcess::CrashExit ? QStringLiteral("signal %1").arg(victim.exitCode())
                                                                     : QStringLiteral("exit code %1").arg(victim.exitCode());
    QVERIFY2(victim.exitStatus() == QProcess::CrashExit && victim.exitCode() == SIGKILL && output.contains(killed),
             qPrintable(QStringLiteral("expected \"%1\", ended by %2 with:\n%3%4")
                            .arg(killed.trimmed(), ended, output, QString::fromUtf8(victim.readAllStandardError()))));
}

QList<ScriptedMessages::Shown> TestCrashRecovery::startAgain()
{
    LinuxFileSystem fileSystem;
    ScriptedMessages messages;
    Form1 form(PlatformContext{fileSystem, messages, prog()});
    form.Form_Load();
    return messages.shown();
}

void TestCrashRecovery::killedBatchIsUndoneAtNextStart_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("route");
    QTest::addColumn<int>("killAt");
    const int half = FileCount / 2;
    QTest::newRow("space removal, phase 1") << QStringLiteral("space") << QStringLiteral("direct") << half;
    QTest::newRow("space removal, phase 2") << QStringLiteral("space") << QStringLiteral("direct") << FileCount + half;
    QTest::newRow("serial shift, phase 1") << QStringLiteral("serial") << QStringLiteral("direct") << half;
    QTest::newRow("serial shift, first move back") << QStringLiteral("serial") << QStringLiteral("direct") << FileCount + 1;
    QTest::newRow("serial shift, phase 2") << QStringLiteral("serial") << QStringLiteral("direct") << FileCount + half;
    QTest::newRow("serial shift, last move back") << QStringLiteral("serial") << QStringLiteral("direct") << 2 * FileCount;
    QTest::newRow("staged, phase 1") << QStringLiteral("serial") << QStringLiteral("staged") << half;
    QTest::newRow("staged, phase 2") << QStringLiteral("serial") << QStringLiteral("staged") << FileCount + half;
}

void TestCrashRecovery::killedBatchIsUndoneAtNextStart()
{
    QFETCH(QString, rule);
    QFETCH(QString, route);
    QFETCH(int, killAt);
    QVERIFY(makeFiles(folder(), rule));
    const Snapshot before = snapshot(folder());

    killVictim({QStringLiteral("batch"), prog(), folder(), rule, route, QString::number(killAt)});
    QVERIFY(QFile::exists(journal()));
    QVERIFY(snapshot(folder()) != before);

    const QList<ScriptedMessages::Shown> shown = startAgain();
    QCOMPARE(snapshot(folder()), before);
    QVERIFY(snapshot(work()).isEmpty());
    QCOMPARE(snapshot(prog()).keys(), QStringList{QStringLiteral("xxxxxxx")});
    QCOMPARE(shown.size(), 1);
    // Every file moved before the kill had left its old name: in phase 2 that is all of them.
    const int moved = killAt <= FileCount ? killAt - 1 : FileCount;
    QVERIFY2(shown.first().prompt.contains(folder()), qPrintable(shown.first().prompt));
    QVERIFY2(shown.first().prompt.contains(QStringLiteral("元の名前に戻したファイル：%1 個").arg(moved)),
             qPrintable(shown.first().prompt));
}

void TestCrashRecovery::killedRecoveryIsFinishedAtNextStart()
{
    QVERIFY(makeFiles(folder(), QStringLiteral("serial")));
    const Snapshot before = snapshot(folder());
    killVictim({QStringLiteral("batch"), prog(), folder(), QStringLiteral("serial"), QStringLiteral("direct"),
                QString::number(FileCount + FileCount / 2)});
    // The start-up after it dies too, in the middle of putting the files back.
    killVictim({QStringLiteral("start"), prog(), QString::number(FileCount / 2)});
    QVERIFY(QFile::exists(journal()));
    QVERIFY(snapshot(folder()) != before);

    const QList<ScriptedMessages::Shown> shown = startAgain();
    QCOMPARE(snapshot(folder()), before);
    QVERIFY(snapshot(work()).isEmpty());
    QVERIFY(!QFile::exists(journal()));
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().prompt.contains(QStringLiteral("全て元の名前です")));
}

void TestCrashRecovery::killedUndoIsUndoneAtNextStart_data()
{
    QTest::addColumn<int>("killAt");
    QTest::newRow("phase 1") << FileCount / 2;
    QTest::newRow("phase 2") << FileCount + FileCount / 2;
}

void TestCrashRecovery::killedUndoIsUndoneAtNextStart()
{
    QFETCH(int, killAt);
    QVERIFY(makeFiles(folder(), QStringLiteral("serial")));
    const Snapshot original = snapshot(folder());
    {
        LinuxFileSystem fileSystem;
        ScriptedMessages messages;
        Form1 form(PlatformContext{fileSystem, messages, prog()});
        form.Form_Load();
        QVERIFY(form.setDir1Path(folder()));
        form.runBatchMove(serialNameRule(QStringLiteral("f"), 1));
    }
    const Snapshot renamed = snapshot(folder());
    QVERIFY(renamed != original);

    killVictim({QStringLiteral("undo"), prog(), QString::number(killAt)});
    QVERIFY(QFile::exists(journal()));
    const QList<ScriptedMessages::Shown> shown = startAgain();
    QCOMPARE(snapshot(folder()), renamed);
    QVERIFY(snapshot(work()).isEmpty());
    QCOMPARE(shown.size(), 1);
    // The rename is still there to be undone, now to the end.
    LinuxFileSystem fileSystem;
    ScriptedMessages messages;
    Form1 form(PlatformContext{fileSystem, messages, prog()});
    form.Form_Load();
    form.takeBackLastRename(TakeBack::Undo);
    QCOMPARE(messages.shown().size(), 1);
    QCOMPARE(snapshot(folder()), original);
}

void TestCrashRecovery::startWithJournalOfVanishedFolder()
{
    QVERIFY(makeFiles(folder(), QStringLiteral("serial")));
    killVictim({QStringLiteral("batch"), prog(), folder(), QStringLiteral("serial"), QStringLiteral("direct"), QStringLiteral("11")});
    QVERIFY(QDir(folder()).removeRecursively());
    const Snapshot waiting = snapshot(work());
    QCOMPARE(waiting.size(), 10);

    const QList<ScriptedMessages::Shown> shown = startAgain();
    QCOMPARE(snapshot(work()), waiting);
    QCOMPARE(shown.size(), 1);
    const QString &prompt = shown.first().prompt;
    QVERIFY(prompt.contains(folder()));
    QVERIFY(prompt.contains(QStringLiteral("・f0.dat は今 %1 にあります").arg(joinPath(work(), QStringLiteral("f1.dat")))));
    QVERIFY(prompt.contains(QStringLiteral("ほか %1 件").arg(FileCount - 10)));
    const QStringList kept = QDir(prog()).entryList({QStringLiteral(".xxxxxxx.journal.kept-*")}, QDir::Files | QDir::Hidden);
    QCOMPARE(kept.size(), 1);
    QVERIFY(prompt.contains(kept.first()));
    // Kept, the journal is tried again at every start, and still moves nothing while the folder is gone.
    const QList<ScriptedMessages::Shown> again = startAgain();
    QCOMPARE(again.size(), 1);
    QVERIFY(again.first().prompt.contains(kept.first()));
    QCOMPARE(snapshot(work()), waiting);
}

void TestCrashRecovery::startWithHandEditedJournal()
{
    QVERIFY(makeFiles(folder(), QStringLiteral("serial")));
    killVictim({QStringLiteral("batch"), prog(), folder(), QStringLiteral("serial"), QStringLiteral("direct"),
                QString::number(FileCount + 5)});
    QFile file(journal());
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll();
    text.replace("\tf7.dat\tf8.dat\n", "\tf7.dat\tf9.dat\n");
    QVERIFY(file.seek(0));
    QCOMPARE(file.write(text), text.size());
    file.close();
    const Snapshot folderBefore = snapshot(folder());
    const Snapshot workBefore = snapshot(work());

    const QList<ScriptedMessages::Shown> shown = startAgain();
    QCOMPARE(snapshot(folder()), folderBefore);
    QCOMPARE(snapshot(work()), workBefore);
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().prompt.contains(QStringLiteral("記録が書き換えられています")));
    QVERIFY(!QFile::exists(journal()));
    QCOMPARE(QDir(prog()).entryList({QStringLiteral(".xxxxxxx.journal.broken-*")}, QDir::Files | QDir::Hidden).size(), 1);
}

void TestCrashRecovery::windowBatchLeavesNoJournal_data()
{
    QTest::addColumn<int>("refusedMove"); // 0: none
    QTest::newRow("done") << 0;
    QTest::newRow("rolled back in phase 1") << 3;
    QTest::newRow("rolled back in phase 2") << 7;
}

void TestCrashRecovery::windowBatchLeavesNoJournal()
{
    QFETCH(int, refusedMove);
    for (const char *name : {"a b.txt", "c d.txt", "e.txt", "f g.txt"}) {
        QFile file(joinPath(folder(), QString::fromUtf8(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    LinuxFileSystem real;
    FaultyFileSystem fileSystem(real);
    if (refusedMove)
        fileSystem.refuseMove(refusedMove);
    ScriptedMessages messages;
    Form1 form(PlatformContext{fileSystem, messages, prog()});
    form.Form_Load();
    QVERIFY(form.setDir1Path(folder()));
    form.Command4->click();
    QVERIFY(fileSystem.moveCount() >= 4);
    QVERIFY(!QFile::exists(journal()));
    // A batch that renamed its files leaves the record that lets Ctrl+Z take it back.
    const QStringList kept = refusedMove ? QStringList{QStringLiteral("xxxxxxx")}
                                         : QStringList{QStringLiteral(".xxxxxxx.history"), QStringLiteral("xxxxxxx")};
    QCOMPARE(snapshot(prog()).keys(), kept);
    const QStringList expected = refusedMove ? QStringList{QStringLiteral("a b.txt"), QStringLiteral("c d.txt"), QStringLiteral("e.txt"), QStringLiteral("f g.txt")}
                                             : QStringList{QStringLiteral("ab.txt"), QStringLiteral("cd.txt"), QStringLiteral("e.txt"), QStringLiteral("fg.txt")};
    QCOMPARE(snapshot(folder()).keys(), expected);
}

void TestCrashRecovery::windowBatchRefusedWhenJournalCannotBeWritten()
{
    QFile file(joinPath(folder(), QStringLiteral("a b.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(QDir().mkpath(journal() + QStringLiteral(".new")));
    LinuxFileSystem fileSystem;
    ScriptedMessages messages;
    Form1 form(PlatformContext{fileSystem, messages, prog()});
    form.Form_Load();
    QVERIFY(form.setDir1Path(folder()));
    form.Command4->click();
    QCOMPARE(snapshot(folder()).keys(), QStringList{QStringLiteral("a b.txt")});
    QCOMPARE(messages.shown().size(), 2);
    QVERIFY2(messages.lastPrompt().contains(QStringLiteral("作業の記録を書き込めません")), qPrintable(messages.lastPrompt()));
    QVERIFY(messages.lastPrompt().contains(QStringLiteral("ファイルは一つも移動していません")));
}

void TestCrashRecovery::lookalikeMountKeepsEveryFile_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("NFS share: no rename flag, lossy removal replies") << QStringLiteral("nfs");
    QTest::newRow("FAT card: no links, case-blind, new inode numbers when plugged in again") << QStringLiteral("fat");
}

// A batch, a single rename, and a batch killed in mid-phase then recovered (on the card after it
// was unplugged and plugged in again), on a FUSE mount that answers as those filesystems do.
void TestCrashRecovery::lookalikeMountKeepsEveryFile()
{
    QFETCH(QString, mode);
    const QString unusable = LookalikeMount::unusableReason();
    if (!unusable.isEmpty())
        QSKIP(qPrintable(QStringLiteral("FUSE is not usable here, so no filesystem like NFS or FAT can be mounted: ") + unusable));
    const QString backing = m_root->filePath(QStringLiteral("backing"));
    QVERIFY(QDir().mkpath(backing));
    LookalikeMount mount(mode, backing, folder());
    QString why;
    // A container may hand out /dev/fuse and still refuse the mount itself.
    if (!mount.mount(&why))
        QSKIP(qPrintable(QStringLiteral("FUSE is not usable here: ") + why));
    LinuxFileSystem disk;
    QCOMPARE(disk.ignoresCase(folder()), mode == QLatin1String("fat"));

    constexpr int Count = 30;
    QVERIFY(makeFiles(folder(), QStringLiteral("space"), Count));
    const Snapshot spaced = snapshot(folder());
    {
        ScriptedMessages messages;
        Form1 form(PlatformContext{disk, messages, prog()});
        form.Form_Load();
        QVERIFY(form.setDir1Path(folder()));
        form.Spacekiller();
    }
    Snapshot expected;
    for (auto file = spaced.cbegin(); file != spaced.cend(); ++file)
        expected.insert(QString(file.key()).remove(QLatin1Char(' ')), file.value());
    QCOMPARE(snapshot(folder()), expected);
    QVERIFY(snapshot(work()).isEmpty());

    QCOMPARE(disk.move(joinPath(folder(), expected.firstKey()), joinPath(folder(), expected.lastKey())).error, EEXIST);
    {
        // The single rename, through the window, of a change of case alone; then a batch of them.
        ScriptedMessages messages;
        Form1 form(PlatformContext{disk, messages, prog()});
        form.Form_Load();
        QVERIFY(form.setDir1Path(folder()));
        form.File1->setCurrentIndex(form.File1->model()->index(0, 0));
        form.File1_Click();
        QCOMPARE(form.File1->fileName(), expected.firstKey());
        const QString recased = QFileInfo(expected.firstKey()).completeBaseName().toUpper() + QStringLiteral(".jpg");
        form.Text1[0]->setText(recased);
        form.Text1_KeyPress(0, 13);
        QVERIFY2(messages.shown().isEmpty(), qPrintable(messages.lastPrompt()));
        QCOMPARE(readFile(joinPath(folder(), recased)), expected.first());
        expected.insert(recased, expected.take(expected.firstKey()));
    }
    BatchJournal record(disk, prog());
    BatchMover recase(disk, BatchPlan(disk, BatchRequest{folder(), expected.keys(), work(), NameFilter(), [](int, const QString &name) {
                            return NewName::of(name.toLower());
                        }}), &record);
    QCOMPARE(recase.run().outcome, BatchOutcome::Done);
    Snapshot lowered;
    for (auto file = expected.cbegin(); file != expected.cend(); ++file)
        lowered.insert(file.key().toLower(), file.value());
    QCOMPARE(snapshot(folder()), lowered);

    const QString shots = joinPath(folder(), QStringLiteral("shots"));
    QVERIFY(QDir().mkpath(shots));
    QVERIFY(makeFiles(shots, QStringLiteral("serial"), Count));
    const Snapshot before = snapshot(shots);
    killVictim({QStringLiteral("batch"), prog(), shots, QStringLiteral("serial"), QStringLiteral("direct"), QString::number(Count + Count / 2)});
    mount.unmount();
    QVERIFY2(mount.mount(&why), qPrintable(why));
    const QList<ScriptedMessages::Shown> shown = startAgain();
    QCOMPARE(snapshot(shots), before);
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().prompt.contains(QStringLiteral("元の名前に戻したファイル：%1 個").arg(Count)), qPrintable(shown.first().prompt));
    QVERIFY(!QFile::exists(journal()));
}

void TestCrashRecovery::realMediaKeepEveryFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("exFAT: no links, case-blind") << QStringLiteral("exfat");
    QTest::newRow("NTFS: links of one inode") << QStringLiteral("ntfs");
    QTest::newRow("FAT: no links, case-blind, a rename gives a new time") << QStringLiteral("fat");
    QTest::newRow("SSHFS: every name its own inode") << QStringLiteral("sshfs");
    QTest::newRow("SMB: no links, case-blind") << QStringLiteral("smb");
}

// Batches killed before a move and inside one (between the claim of the new name or the link and
// the rest of the move), in both phases, on real filesystems that no one here wrote: the next
// start brings every file home and leaves nothing of the batch's own. On the cards, also after
// they were unplugged, and with a copy of the card taken before the batch in the slot first.
void TestCrashRecovery::realMediaKeepEveryFile()
{
    QFETCH(QString, kind);
    RealMount mount(kind);
    QString why;
    const int mounted = mount.mount(&why);
    if (mounted == RealMount::Unusable)
        QSKIP(qPrintable(why));
    QVERIFY2(mounted == 0, qPrintable(why));
    const bool card = kind == QLatin1String("exfat") || kind == QLatin1String("fat");
    constexpr int Count = 12;
    struct Kill
    {
        QString rule;
        QString move;
        bool replug;
    };
    const QList<Kill> kills = {{QStringLiteral("serial"), QStringLiteral("6+"), false},
                               {QStringLiteral("serial"), QStringLiteral("18+"), card},
                               {QStringLiteral("serial"), QStringLiteral("18"), false},
                               {QStringLiteral("capitals"), QStringLiteral("18"), false},
                               {QStringLiteral("case"), QStringLiteral("4+"), false},
                               {QStringLiteral("case"), QStringLiteral("19+"), card}};
    for (const Kill &kill : kills) {
        const QString files = joinPath(mount.path(), kill.rule + kill.move);
        QVERIFY(QDir().mkpath(files));
        QVERIFY(makeFiles(files, kill.rule, Count));
        const Snapshot before = snapshot(files);
        const QString rule = kill.rule == QLatin1String("capitals") ? QStringLiteral("serial") : kill.rule;
        killVictim({QStringLiteral("batch"), prog(), files, rule, QStringLiteral("direct"), kill.move});
        if (kill.replug) {
            mount.unmount();
            QVERIFY2(mount.mount(&why) == 0, qPrintable(why));
        }
        const QList<ScriptedMessages::Shown> shown = startAgain();
        QVERIFY2(snapshot(files) == before, qPrintable(kill.rule + kill.move));
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.first().prompt.contains(QStringLiteral("全て元の名前です")), qPrintable(shown.first().prompt));
        QVERIFY(!QFile::exists(journal()));
    }
    if (!card)
        return;

    // A copy of the card, taken before the batch, stands in the slot at the next start.
    const QString files = joinPath(mount.path(), QStringLiteral("copy"));
    QVERIFY(QDir().mkpath(files));
    QVERIFY(makeFiles(files, QStringLiteral("serial"), Count));
    const Snapshot before = snapshot(files);
    const QString real = mount.image() + QStringLiteral(".real");
    const QString copy = mount.image() + QStringLiteral(".copy");
    mount.unmount();
    QVERIFY(QFile::copy(mount.image(), copy));
    QVERIFY2(mount.mount(&why) == 0, qPrintable(why));
    killVictim({QStringLiteral("batch"), prog(), files, QStringLiteral("serial"), QStringLiteral("direct"), QStringLiteral("18+")});
    mount.unmount();
    QVERIFY(QFile::rename(mount.image(), real) && QFile::rename(copy, mount.image()));
    QVERIFY2(mount.mount(&why) == 0, qPrintable(why));
    QList<ScriptedMessages::Shown> shown = startAgain();
    QCOMPARE(snapshot(files), before);
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().prompt.contains(QStringLiteral("一括リネームをしたときのディスク")), qPrintable(shown.first().prompt));
    mount.unmount();
    QVERIFY(QFile::remove(mount.image()) && QFile::rename(real, mount.image()));
    QVERIFY2(mount.mount(&why) == 0, qPrintable(why));
    shown = startAgain();
    QCOMPARE(snapshot(files), before);
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().prompt.contains(QStringLiteral("全て元の名前です")), qPrintable(shown.first().prompt));
    QCOMPARE(QDir(prog()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".journal")), QStringList());
}

QTEST_MAIN(TestCrashRecovery)
#include "tst_crashrecovery.moc"
