#include "platform/filesystem.h"
#include "support/testfiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// The real LinuxFileSystem, with the preloaded library making the system's calls answer as the
// filesystems that have no rename-without-replace, no hard links, or lossy replies.
class TestMoveChain : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void eachRouteMovesWithoutLoss_data();
    void eachRouteMovesWithoutLoss();
    void extraLinkRemovedOnlyWhenSecondName();
};

namespace {

const char *const Faults[] = {"FAULT_NOREPLACE_EINVAL", "FAULT_LINK_EPERM", "FAULT_UNLINK", "FAULT_UNLINK_REFUSE",
                              "FAULT_INTRUDER"};

} // namespace

void TestMoveChain::init()
{
    QVERIFY(qEnvironmentVariable("LD_PRELOAD").contains(QStringLiteral("faultinject")));
}

void TestMoveChain::cleanup()
{
    for (const char *fault : Faults)
        qunsetenv(fault);
}

void TestMoveChain::eachRouteMovesWithoutLoss_data()
{
    QTest::addColumn<bool>("heldOpen"); // by names in folders held open, as a batch moves
    QTest::addColumn<bool>("noReplace");
    QTest::addColumn<bool>("links");
    QTest::addColumn<QString>("unlink"); // "", "lost" or "refuse" (the old name's removal)
    QTest::addColumn<bool>("targetTaken");
    QTest::addColumn<int>("error");

    for (const bool heldOpen : {false, true}) {
        auto row = [&](const char *route) -> QTestData & {
            return QTest::addRow("%s%s", route, heldOpen ? ", folders held open" : "") << heldOpen;
        };
        row("no-replace rename") << true << true << "" << false << 0;
        row("no-replace rename, name taken") << true << true << "" << true << EEXIST;
        row("link and unlink") << false << true << "" << false << 0;
        row("link and unlink, name taken") << false << true << "" << true << EEXIST;
        row("link and unlink, lost reply") << false << true << "lost" << false << 0;
        row("link and unlink, removal refused") << false << true << "refuse" << false << EBUSY;
        row("claim and rename") << false << false << "" << false << 0;
        row("claim and rename, name taken") << false << false << "" << true << EEXIST;
        row("claim and rename, lost reply") << false << false << "lost" << false << 0;
    }
}

// Whatever the route, the file ends under exactly one of its names with its contents, a file at
// the new name is never replaced, and another program that creates the new name meanwhile
// either gets it or is refused, never overwritten.
void TestMoveChain::eachRouteMovesWithoutLoss()
{
    QFETCH(bool, heldOpen);
    QFETCH(bool, noReplace);
    QFETCH(bool, links);
    QFETCH(QString, unlink);
    QFETCH(bool, targetTaken);
    QFETCH(int, error);

    QTemporaryDir dir;
    const QString from = dir.filePath(QStringLiteral("写真.JPG"));
    const QString to = dir.filePath(QStringLiteral("photo.jpg"));
    writeFile(from, "the only copy");
    if (targetTaken)
        writeFile(to, "someone else's");
    const QString intruderLog = dir.filePath(QStringLiteral("intruder.log"));
    writeFile(intruderLog, QByteArray());

    if (!noReplace)
        qputenv("FAULT_NOREPLACE_EINVAL", "1");
    if (!links)
        qputenv("FAULT_LINK_EPERM", "1");
    if (unlink == QLatin1String("lost"))
        qputenv("FAULT_UNLINK", "lost");
    if (unlink == QLatin1String("refuse"))
        qputenv("FAULT_UNLINK_REFUSE", heldOpen ? QByteArray("写真.JPG") : QFile::encodeName(from));
    qputenv("FAULT_INTRUDER", QFile::encodeName(intruderLog));
    // A record of the run must know of a claim or a second name before it exists.
    struct Steps : MoveWatcher
    {
        QStringList told;
        void making(Step step, const QByteArray &from, const QByteArray &to) override
        {
            told.append(QLatin1String(step == Step::Claim ? "claim " : "link ") + QFile::decodeName(from) + QLatin1Char(' ')
                        + QFile::decodeName(to));
        }
    } steps;
    const WatchMoves watch(steps);
    LinuxFileSystem disk;
    const FsResult moved = heldOpen ? disk.openFolderPair(dir.path(), dir.path())
                                          ->move(FolderPair::First, QStringLiteral("写真.JPG"), FolderPair::Second,
                                                 QStringLiteral("photo.jpg"))
                                    : disk.move(from, to);
    cleanup();

    QCOMPARE(moved.error, error);
    QStringList told;
    if (!noReplace)
        told.append(QStringLiteral("link %1 %2").arg(from, to));
    if (!noReplace && !links)
        told.append(QStringLiteral("claim %1 %2").arg(from, to));
    QCOMPARE(steps.told, told);
    const QByteArray intruded = readFile(intruderLog);
    Snapshot expected{{QStringLiteral("intruder.log"), intruded}};
    if (!intruded.isEmpty())
        QCOMPARE(readFile(to), QByteArray("intruder"));
    else if (error == 0)
        expected.insert(QStringLiteral("photo.jpg"), "the only copy");
    if (error != 0)
        expected.insert(QStringLiteral("写真.JPG"), "the only copy");
    if (targetTaken)
        expected.insert(QStringLiteral("photo.jpg"), "someone else's");
    QCOMPARE(snapshot(dir.path()), expected);
}

void TestMoveChain::extraLinkRemovedOnlyWhenSecondName()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    const QString extra = dir.filePath(QStringLiteral("b.txt"));
    const QString other = dir.filePath(QStringLiteral("c.txt"));
    writeFile(file, "a");
    writeFile(other, "a");
    QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(extra).constData()), 0);
    LinuxFileSystem disk;
    QCOMPARE(disk.removeExtraName(other, file).error, EEXIST);
    QVERIFY(disk.removeExtraName(extra, file).ok());
    QCOMPARE(disk.removeExtraName(file, other).error, EEXIST);
    QCOMPARE(snapshot(dir.path()), (Snapshot{{QStringLiteral("a.txt"), "a"}, {QStringLiteral("c.txt"), "a"}}));
}

// Runs itself again with the fault library preloaded: the faults must act on the real calls.
int main(int argc, char *argv[])
{
    if (!qEnvironmentVariable("LD_PRELOAD").contains(QStringLiteral("faultinject"))) {
        ::setenv("LD_PRELOAD", FAULT_INJECT_LIBRARY, 1);
        ::execv("/proc/self/exe", argv);
        std::perror("execv");
        return 1;
    }
    QCoreApplication app(argc, argv);
    TestMoveChain test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_movechain.moc"
