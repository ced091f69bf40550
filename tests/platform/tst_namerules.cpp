#include "platform/namerules.h"
#include "support/realmount.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Each filesystem's name rules: by the mount's type, and by probing on real exFAT, NTFS, FAT and
// SSHFS mounts, where every refused name must be refused by the rules too.
class TestNameRules : public QObject
{
    Q_OBJECT

private slots:
    void checkNameByType_data();
    void checkNameByType();
    void caseInsensitiveWhereTheFilesystemIs();
    void probeAgreesWithRealFilesystem_data();
    void probeAgreesWithRealFilesystem();
};

namespace {

QByteArray kanji(int count)
{
    return QString(count, QChar(0x6F22)).toUtf8();
}

// The names a batch may give that some filesystem refuses.
QList<QByteArray> hardNames()
{
    QList<QByteArray> names;
    for (const char c : QByteArray("\\:*?\"<>|"))
        names << QByteArray("a") + c + "b.jpg";
    names << "a\x01" "b" << "a\x7f" "b" << "photo." << "photo " << "CON" << "con.txt" << "Aux.tar.gz" << "NUL"
          << "COM1" << "LPT9" << "COM0" << "CON .txt" << "caf\xe9.jpg" << "caf\xc3\xa9.jpg" << "写真 1.jpg"
          << kanji(84) + ".jpg" << kanji(86) << kanji(255) << kanji(256) << QByteArray(255, 'x')
          << QByteArray(256, 'x');
    return names;
}

// 0 when the folder took the name and lists it under those very bytes, else why not.
int createFor(const QByteArray &folder, const QByteArray &name)
{
    const QByteArray path = folder + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    ::close(fd);
    bool listed = false;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *entry = ::readdir(dir))
            listed = listed || name == entry->d_name;
        ::closedir(dir);
    }
    ::unlink(path.constData());
    return listed ? 0 : EILSEQ;
}

} // namespace

void TestNameRules::checkNameByType_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<NameRefusal>("refusal");
    QTest::addColumn<uint>("character");

    using R = NameRefusal;
    QTest::newRow("ext4 takes Windows' characters") << QByteArray("ext4") << QByteArray() << QByteArray("a:b?.jpg") << R::None << 0u;
    QTest::newRow("ext4 counts bytes") << QByteArray("ext4") << QByteArray() << kanji(84) + ".jpg" << R::TooLong << 0u;
    QTest::newRow("no slash anywhere") << QByteArray("tmpfs") << QByteArray() << QByteArray("a/b") << R::Character << uint('/');
    QTest::newRow("vfat colon") << QByteArray("vfat") << QByteArray() << QByteArray("10:30.jpg") << R::Character << uint(':');
    QTest::newRow("vfat vertical bar") << QByteArray("vfat") << QByteArray() << QByteArray("a|b") << R::Character << uint('|');
    QTest::newRow("vfat control") << QByteArray("vfat") << QByteArray() << QByteArray("a\tb") << R::ControlCharacter << uint('\t');
    QTest::newRow("vfat trailing dot") << QByteArray("vfat") << QByteArray() << QByteArray("photo.") << R::TrailingDot << uint('.');
    QTest::newRow("vfat trailing space") << QByteArray("vfat") << QByteArray() << QByteArray("photo ") << R::TrailingSpace << uint(' ');
    QTest::newRow("vfat takes CON") << QByteArray("vfat") << QByteArray() << QByteArray("CON") << R::None << 0u;
    QTest::newRow("vfat CP932 bytes") << QByteArray("vfat") << QByteArray() << QByteArray("\x8e\xca.jpg") << R::NotUtf8 << 0x8eu;
    QTest::newRow("fusefat only ASCII") << QByteArray("fuse.fusefat") << QByteArray() << QByteArray("caf\xc3\xa9") << R::Character << 0xe9u;
    QTest::newRow("exfat counts UTF-16") << QByteArray("exfat") << QByteArray() << kanji(84) + ".jpg" << R::None << 0u;
    QTest::newRow("vfat long names count UTF-16") << QByteArray("vfat") << QByteArray() << kanji(86) << R::None << 0u;
    QTest::newRow("exfat 256 units") << QByteArray("exfat") << QByteArray() << kanji(256) << R::TooLong << 0u;
    QTest::newRow("cifs device name") << QByteArray("cifs") << QByteArray() << QByteArray("lpt1.txt") << R::DeviceName << 0u;
    QTest::newRow("cifs trailing space") << QByteArray("cifs") << QByteArray() << QByteArray("a .jpg ") << R::TrailingSpace << uint(' ');
    QTest::newRow("cifs COM0 is no device") << QByteArray("cifs") << QByteArray() << QByteArray("COM0") << R::None << 0u;
    QTest::newRow("smbnetfs share, never probed") << QByteArray("fuse.smbnetfs") << QByteArray() << QByteArray("a?.jpg") << R::Character << uint('?');
    QTest::newRow("ntfs3 takes all") << QByteArray("ntfs3") << QByteArray("rw") << QByteArray("CON:.") << R::None << 0u;
    QTest::newRow("ntfs3 windows_names") << QByteArray("ntfs3") << QByteArray("rw,windows_names") << QByteArray("Aux.tar.gz") << R::DeviceName << 0u;
}

void TestNameRules::checkNameByType()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, options);
    QFETCH(QByteArray, name);
    QFETCH(NameRefusal, refusal);
    QFETCH(uint, character);

    const std::optional<NameRules> rules = nameRulesOfType(type, options);
    QVERIFY(rules);
    QCOMPARE(checkName(*rules, name), (NameVerdict{refusal, character}));
}

void TestNameRules::caseInsensitiveWhereTheFilesystemIs()
{
    const NameRules exfat = *nameRulesOfType("exfat", "");
    QVERIFY(sameName(exfat, "photo.JPG", "photo.jpg"));
    QVERIFY(sameName(exfat, "ＡＢ.jpg", "ａｂ.jpg"));
    QVERIFY(sameName(exfat, "Σ", "ς"));
    QVERIFY(!sameName(exfat, "ß", "ẞ"));
    QVERIFY(!sameName(exfat, "photo.jpg", "photo.jpeg"));
    QVERIFY(!sameName(*nameRulesOfType("ext4", ""), "photo.JPG", "photo.jpg"));
    QVERIFY(!sameName(*nameRulesOfType("ntfs3", "windows_names"), "a", "A"));
    QVERIFY(!nameRulesOfType("fuseblk", "rw"));
}

void TestNameRules::probeAgreesWithRealFilesystem_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<NameRules>("expected");

    NameRules local;
    QTest::newRow("local folder") << QString() << local;
    NameRules exfat{.windowsCharacters = true, .utf8Only = true, .utf16Length = true, .caseInsensitive = true};
    QTest::newRow("exfat-fuse") << QStringLiteral("exfat") << exfat;
    NameRules ntfs{.windowsCharacters = true, .trailingDotOrSpace = true, .deviceNames = true, .utf8Only = true,
                   .utf16Length = true};
    QTest::newRow("ntfs-3g windows_names") << QStringLiteral("ntfs") << ntfs;
    NameRules fat{.windowsCharacters = true, .utf8Only = true, .asciiOnly = true, .caseInsensitive = true};
    QTest::newRow("fusefat") << QStringLiteral("fat") << fat;
    QTest::newRow("sshfs") << QStringLiteral("sshfs") << local;
}

void TestNameRules::probeAgreesWithRealFilesystem()
{
    QFETCH(QString, kind);
    QFETCH(NameRules, expected);

    QTemporaryDir local;
    RealMount mount(kind);
    QString folder = local.path();
    if (!kind.isEmpty()) {
        QString why;
        const int mounted = mount.mount(&why);
        if (mounted == RealMount::Unusable)
            QSKIP(qPrintable(why));
        QVERIFY2(mounted == 0, qPrintable(why));
        folder = mount.path();
    }
    const QByteArray path = QFile::encodeName(folder);

    // A probe killed midway left its folder with a name in it: the next probe clears both.
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    QVERIFY(ended > 0 && ::waitpid(ended, nullptr, 0) == ended);
    const QByteArray stale = path + "/.mivot-probe-" + QByteArray::number(ended);
    QCOMPARE(::mkdir(stale.constData(), 0700), 0);
    const int staleFd = ::open((stale + "/probe-case").constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    QVERIFY(staleFd >= 0);
    ::close(staleFd);

    NameRules probed;
    QCOMPARE(probeNameRules(path, probed), 0);
    QCOMPARE(probed, expected);
    QVERIFY2(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), "the probe left a name behind");

    // The rules say "refused" exactly where the filesystem refuses or changes the name; where the
    // mount's type is known, those rules refuse at least as much.
    const std::optional<NameRules> known = knownNameRules(path);
    for (const QByteArray &name : hardNames()) {
        const bool refused = createFor(path, name) != 0;
        QVERIFY2(checkName(probed, name).refused() == refused, name.constData());
        if (known && refused)
            QVERIFY2(checkName(*known, name).refused(), name.constData());
    }
    const int fd = ::open((path + "/photo.JPG").constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    QVERIFY(fd >= 0);
    ::close(fd);
    QCOMPARE(createFor(path, "photo.jpg") == EEXIST, sameName(probed, "photo.JPG", "photo.jpg"));
}

QTEST_GUILESS_MAIN(TestNameRules)
#include "tst_namerules.moc"
