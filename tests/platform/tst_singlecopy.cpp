#include "platform/singlecopy.h"
#include "platform/filesystem.h"
#include "platform/programfolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestSingleCopy : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyRefused();
    void lockFreedWhenFirstCopyEnds();
    void staleLockOfCrashedCopyTakenOver();
    void programFolderFallsBackWhenNotWritable();
    void installedCopyUsesPerUserFolderEvenWhenWritable();
    void workFolderAtRootHasOneSeparator();
};

void TestSingleCopy::secondCopyRefused()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mivot.lock"));
    SingleCopyLock first(path);
    QVERIFY(first.acquire());
    SingleCopyLock second(path);
    QVERIFY(!second.acquire());
}

void TestSingleCopy::lockFreedWhenFirstCopyEnds()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mivot.lock"));
    {
        SingleCopyLock first(path);
        QVERIFY(first.acquire());
    }
    SingleCopyLock next(path);
    QVERIFY(next.acquire());
}

void TestSingleCopy::staleLockOfCrashedCopyTakenOver()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mivot.lock"));
    // A copy that was killed leaves its lock file naming a process that no longer runs.
    QProcess finished;
    finished.start(QStringLiteral("true"));
    const qint64 deadPid = finished.processId();
    QVERIFY(deadPid > 0);
    QVERIFY(finished.waitForFinished());
    QFile lockFile(path);
    QVERIFY(lockFile.open(QIODevice::WriteOnly));
    lockFile.write(QByteArray::number(deadPid) + "\nmivot\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lockFile.close();

    SingleCopyLock next(path);
    QVERIFY(next.acquire());
}

void TestSingleCopy::programFolderFallsBackWhenNotWritable()
{
    QTemporaryDir dir;
    const QString perUser = dir.filePath(QStringLiteral("per-user/mivot"));
    QCOMPARE(chooseProgramFolder(dir.path(), perUser), dir.path());
    QCOMPARE(chooseProgramFolder(QStringLiteral("/nonexistent/bin"), perUser), perUser);
    QVERIFY(QFile::exists(perUser));
}

void TestSingleCopy::installedCopyUsesPerUserFolderEvenWhenWritable()
{
    QTemporaryDir dir;
    const QString bin = dir.filePath(QStringLiteral("prefix/bin"));
    const QString perUser = dir.filePath(QStringLiteral("per-user/mivot"));
    QVERIFY(QDir().mkpath(bin));
    QCOMPARE(installMarkerOf(bin), dir.filePath(QStringLiteral("prefix/share/mivot/installed")));
    // A stray folder of that name is no marker; only the installed file is.
    QVERIFY(QDir().mkpath(installMarkerOf(bin)));
    QCOMPARE(chooseProgramFolder(bin, perUser), bin);
    QVERIFY(!isInstalledCopy(bin));
    QVERIFY(QDir().rmdir(installMarkerOf(bin)));
    QFile marker(installMarkerOf(bin));
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.close();
    QCOMPARE(chooseProgramFolder(bin, perUser), perUser);
    QVERIFY(isInstalledCopy(bin));
    QVERIFY(QFile::exists(perUser));
}

void TestSingleCopy::workFolderAtRootHasOneSeparator()
{
    QCOMPARE(workFolderOf(QStringLiteral("/")), QStringLiteral("/xxxxxxx"));
    QCOMPARE(workFolderOf(QStringLiteral("/opt/mivot")), QStringLiteral("/opt/mivot/xxxxxxx"));
}

QTEST_GUILESS_MAIN(TestSingleCopy)
#include "tst_singlecopy.moc"
