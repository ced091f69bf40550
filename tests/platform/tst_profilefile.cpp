#include "platform/profilefile.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

class TestProfileFile : public QObject
{
    Q_OBJECT

private slots:
    void missingFileSectionOrKeyReadsEmpty();
    void japaneseNamesRoundTrip();
    void writeReplacesOnlyItsKey();
    void readsClassicSyntax();
    void readsCp932File();
    void cp932FileRewrittenAsUtf8();
    void failedWriteLeavesOldFileWhole();
    void unreadableFileNeverRewritten();
    void lineBreakRefused();
};

void TestProfileFile::missingFileSectionOrKeyReadsEmpty()
{
    QTemporaryDir dir;
    const ProfileFile file(dir.filePath(QStringLiteral("Option.ini")));
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("添付")), QString());
    QVERIFY(file.write(QStringLiteral("拡張子"), QStringLiteral("添付"), QStringLiteral("True")).ok());
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("表示")), QString());
    QCOMPARE(file.read(QStringLiteral("other"), QStringLiteral("添付")), QString());
}

void TestProfileFile::japaneseNamesRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Option.ini"));
    const ProfileFile file(path);
    const QString pattern = QStringLiteral("*.jpg;*.写真;*.*");
    QVERIFY(file.write(QStringLiteral("拡張子"), QStringLiteral("添付"), QStringLiteral("True")).ok());
    QVERIFY(file.write(QStringLiteral("拡張子"), QStringLiteral("表示"), pattern).ok());
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("添付")), QStringLiteral("True"));
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("表示")), pattern);
    QCOMPARE(QString::fromUtf8(readFile(path)), QStringLiteral("[拡張子]\n添付=True\n表示=*.jpg;*.写真;*.*\n"));
}

void TestProfileFile::writeReplacesOnlyItsKey()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Option.ini"));
    writeFile(path, "; kept comment\n[other]\nkey=1\n\n[拡張子]\n添付=True\n表示=*.txt\n");
    const ProfileFile file(path);
    QVERIFY(file.write(QStringLiteral("拡張子"), QStringLiteral("添付"), QStringLiteral("fsdfds")).ok());
    QCOMPARE(QString::fromUtf8(readFile(path)),
             QStringLiteral("; kept comment\n[other]\nkey=1\n\n[拡張子]\n添付=fsdfds\n表示=*.txt\n"));
}

void TestProfileFile::readsClassicSyntax()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Option.ini"));
    writeFile(path, "\xEF\xBB\xBF[ 拡張子 ]\r\n; 添付=no\r\n  添付 =  \"True\"  \r\n");
    const ProfileFile file(path);
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("添付")), QStringLiteral("True"));
}

void TestProfileFile::readsCp932File()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Option.ini"));
    // "[拡張子]\r\n添付=True\r\n表示=*.jpg\r\n" as the older program wrote it, in Shift-JIS.
    writeFile(path, "[\x8A\x67\x92\xA3\x8E\x71]\r\n\x93\x59\x95\x74=True\r\n\x95\x5C\x8E\xA6=*.jpg\r\n");
    const ProfileFile file(path);
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("添付")), QStringLiteral("True"));
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("表示")), QStringLiteral("*.jpg"));
}

void TestProfileFile::cp932FileRewrittenAsUtf8()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Option.ini"));
    writeFile(path, "[\x8A\x67\x92\xA3\x8E\x71]\r\n\x93\x59\x95\x74=True\r\n");
    const ProfileFile file(path);
    QVERIFY(file.write(QStringLiteral("拡張子"), QStringLiteral("表示"), QStringLiteral("*.png")).ok());
    QCOMPARE(QString::fromUtf8(readFile(path)), QStringLiteral("[拡張子]\n添付=True\n表示=*.png\n"));
}

void TestProfileFile::failedWriteLeavesOldFileWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Option.ini"));
    const QByteArray old = "[拡張子]\n添付=True\n";
    writeFile(path, old);
    const ProfileFile file(path);

    // Even root cannot write past the file size limit: the write fails like a full disk.
    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 8;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const FsResult result = file.write(QStringLiteral("拡張子"), QStringLiteral("表示"), QString(300, QLatin1Char('x')));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!result.ok());
    QVERIFY(!result.reason().isEmpty());
    QCOMPARE(readFile(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Option.ini")});
}

void TestProfileFile::unreadableFileNeverRewritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Option.ini"));
    // A link to itself exists and cannot be opened, even by root; a replacing write would succeed.
    QVERIFY(QFile::link(path, path));
    const FsResult result = ProfileFile(path).write(QStringLiteral("拡張子"), QStringLiteral("添付"), QStringLiteral("True"));
    QVERIFY(!result.ok());
    QVERIFY(QFileInfo(path).isSymLink());
    QCOMPARE(QFileInfo(path).symLinkTarget(), path);
}

void TestProfileFile::lineBreakRefused()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Option.ini"));
    const QByteArray old = "[拡張子]\n表示=*.jpg\n";
    writeFile(path, old);
    const ProfileFile file(path);
    for (const QString &value : {QStringLiteral("*.jpg\n[x]"), QStringLiteral("*.jpg\r*.png")})
        QVERIFY(!file.write(QStringLiteral("拡張子"), QStringLiteral("表示"), value).ok());
    QVERIFY(!file.write(QStringLiteral("拡張子"), QStringLiteral("表\n示"), QStringLiteral("a")).ok());
    QCOMPARE(readFile(path), old);
}

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
