#include "platform/filesystem.h"
#include "platform/listing.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

class TestListing : public QObject
{
    Q_OBJECT

private slots:
    void filter_data();
    void filter();
    void naturalOrder();
    void collation_data();
    void collation();
    void namesDecoded_data();
    void namesDecoded();
    void listsOnlyVisibleRegularFiles();
    void unreadableFolderReported();
};

void TestListing::filter_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("shown");

    QTest::newRow("empty shows all") << "" << "README" << true;
    QTest::newRow("all with dot") << "*.*" << "a.txt" << true;
    QTest::newRow("all without dot") << "*.*" << "README" << true;
    QTest::newRow("one extension") << "*.jpg" << "a.jpg" << true;
    QTest::newRow("case-insensitive") << "*.jpg" << "A.JPG" << true;
    QTest::newRow("other extension") << "*.jpg" << "a.png" << false;
    QTest::newRow("second piece") << "*.jpg;*.png" << "a.png" << true;
    QTest::newRow("must match whole name") << "*.jp" << "a.jpg" << false;
    QTest::newRow("doubled dot piece") << "*..txt" << "a.txt" << false;
    QTest::newRow("doubled dot piece matches") << "*..txt" << "a..txt" << true;
    QTest::newRow("all among others") << "*.*;*.txt" << "a.png" << true;
    QTest::newRow("trailing separator") << "*.txt;" << "a.txt" << true;
    QTest::newRow("japanese extension") << "*.写真" << "旅.写真" << true;
}

void TestListing::filter()
{
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, shown);
    QCOMPARE(NameFilter(pattern).matches(name), shown);
}

void TestListing::naturalOrder()
{
    QStringList names = {QStringLiteral("img10.jpg"), QStringLiteral("IMG2.jpg"), QStringLiteral("img1.jpg"),
                         QStringLiteral("b.txt"), QStringLiteral("B.txt"), QStringLiteral("a.txt"),
                         QStringLiteral("img02.jpg")};
    sortNatural(names);
    const QStringList expected = {QStringLiteral("a.txt"), QStringLiteral("B.txt"), QStringLiteral("b.txt"),
                                  QStringLiteral("img1.jpg"), QStringLiteral("IMG2.jpg"),
                                  QStringLiteral("img02.jpg"), QStringLiteral("img10.jpg")};
    QCOMPARE(names, expected);
    // A strict weak order: no name is less than itself, and ties fall to code points.
    QVERIFY(!naturalLess(QStringLiteral("a"), QStringLiteral("a")));
    QVERIFY(naturalLess(QStringLiteral("A"), QStringLiteral("a")) != naturalLess(QStringLiteral("a"), QStringLiteral("A")));

    // Numbers of both widths among letters: one order, whatever order the folder hands them in.
    QStringList shuffled = {QStringLiteral("写真A"), QStringLiteral("写真5"), QStringLiteral("写真３")};
    std::sort(shuffled.begin(), shuffled.end());
    do {
        QStringList sorted = shuffled;
        sortNatural(sorted);
        QCOMPARE(sorted, (QStringList{QStringLiteral("写真３"), QStringLiteral("写真5"), QStringLiteral("写真A")}));
    } while (std::next_permutation(shuffled.begin(), shuffled.end()));

    // A large folder: the same order as one name compared with another.
    QStringList many;
    for (int i = 0; i < 30000; ++i)
        many.append(QStringLiteral("写真 %1 のコピー%2.jpg").arg((i * 7919) % 30011).arg(i % 3 ? QString() : QStringLiteral("(2)")));
    QStringList compared = many;
    std::sort(compared.begin(), compared.end(), naturalLess);
    sortNatural(many);
    QCOMPARE(many, compared);
}

void TestListing::collation_data()
{
    QTest::addColumn<QByteArray>("first"); // the bytes of the name that sorts first
    QTest::addColumn<QByteArray>("second");

    QTest::newRow("numbers") << QByteArray("img2") << QByteArray("img10");
    QTest::newRow("full-width digits") << QByteArray("写真２") << QByteArray("写真１０");
    QTest::newRow("mixed widths") << QByteArray("写真9") << QByteArray("写真１０");
    QTest::newRow("same value, bytes decide") << QByteArray("a1") << QByteArray("a１");
    QTest::newRow("case") << QByteArray("apple") << QByteArray("Banana");
    QTest::newRow("full-width letter folded") << QByteArray("Ａb") << QByteArray("ac");
    QTest::newRow("full-width lower folded") << QByteArray("ｚ1") << QByteArray("Z2");
    QTest::newRow("cp932 by its characters") << QByteArray("ア") << QByteArray("\x83\x5f"); // ダ: bytes alone would put it first
    QTest::newRow("one invalid byte apart") << QByteArray("caf\xe8") << QByteArray("caf\xe9");
    QTest::newRow("number before letter") << QByteArray("a9") << QByteArray("ab");
    QTest::newRow("space before number") << QByteArray("a b") << QByteArray("a1");
    QTest::newRow("leading zeros ignored") << QByteArray("img2x") << QByteArray("img002y");
    QTest::newRow("zeros alone") << QByteArray("a0b") << QByteArray("a00c");
    QTest::newRow("number decides before the rest") << QByteArray("a9z") << QByteArray("a10");
    QTest::newRow("shorter name first") << QByteArray("img1") << QByteArray("img1a");
    QTest::newRow("equal numbers, shorter first") << QByteArray("a1") << QByteArray("a01b");
    QTest::newRow("case folded beyond latin") << QByteArray("\xcf\x83") << QByteArray("\xce\xa3" "a"); // σ, Σa
    QTest::newRow("utf-16 units, not code points") << QByteArray("\xf0\x9f\x98\x80") << QByteArray("\xef\xbd\xa1"); // 😀, ｡
    QTest::newRow("full-width number stands as a digit") << QByteArray("写真３") << QByteArray("写真A");
    QTest::newRow("name before its copy") << QByteArray("1.JPG") << QByteArray("1 (2).JPG");
    QTest::newRow("name before a longer variant") << QByteArray("夕日 海岸.jpg") << QByteArray("夕日 海岸 2.jpg");
    QTest::newRow("extension after the name") << QByteArray("a.txt") << QByteArray("a b.jpg");
    QTest::newRow("half-width katakana folded") << QByteArray("ｶﾒﾗ2") << QByteArray("カメラ10");
    QTest::newRow("half-width voiced mark joined") << QByteArray("ﾃﾞｼﾞｶﾒ 2") << QByteArray("デジカメ 10");
}

void TestListing::collation()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    const QString a = nameFromBytes(first);
    const QString b = nameFromBytes(second);
    QVERIFY(naturalLess(a, b));
    QVERIFY(!naturalLess(b, a));
    QVERIFY(!naturalLess(a, a));
    QStringList names{b, a};
    sortNatural(names);
    QCOMPARE(names, (QStringList{a, b}));
}

void TestListing::namesDecoded_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("encoding");

    QTest::newRow("utf-8") << QByteArray("写真 1.jpg") << QStringLiteral("写真 1.jpg") << int(NameEncoding::Utf8);
    QTest::newRow("cp932") << QByteArray("\x8e\xca\x90\x5e 1.jpg") << QStringLiteral("写真 1.jpg") << int(NameEncoding::Cp932);
    // Codes Windows reads although a conversion back writes the same characters with other codes.
    QTest::newRow("nec-selected ibm extension") << QByteArray("\xee\xe0\x8b\xb4 \xed\x40.jpg") << QStringLiteral("髙橋 纊.jpg")
                                                << int(NameEncoding::Cp932);
    QTest::newRow("nec row 13") << QByteArray("\x87\x90\x87\x40.txt") << QStringLiteral("≒①.txt") << int(NameEncoding::Cp932);
    QTest::newRow("ibm extension") << QByteArray("\xfa\x4a\xfa\x40\xfb\xfc.txt") << QStringLiteral("Ⅰⅰ髙.txt") << int(NameEncoding::Cp932);
    QTest::newRow("neither") << QByteArray("caf\xe9.txt") << QStringLiteral("caf\\xE9.txt") << int(NameEncoding::Bytes);
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xb2\x80") << QStringLiteral("\\xED\\xB2\\x80") << int(NameEncoding::Bytes);
    QTest::newRow("pair then invalid byte") << QByteArray("\xf0\x9f\x82\x80\x80") << QStringLiteral("🂀\\x80") << int(NameEncoding::Bytes);
}

void TestListing::namesDecoded()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QFETCH(int, encoding);
    const FileName name = FileName::fromBytes(bytes);
    QCOMPARE(name.display(), shown);
    QCOMPARE(int(name.encoding()), encoding);
    QCOMPARE(bytesOfName(name.name()), bytes);
    // A reused buffer, longer from the name before, gets the same bytes.
    QByteArray reused("a much longer name that was written here before.jpg");
    writeBytesOfName(name.name(), reused);
    QCOMPARE(reused, bytes);
    QCOMPARE(name.withText(name.text())->bytes(), bytes);

    // Listed under the exact bytes, shown decoded, and found again by the same bytes.
    QTemporaryDir dir;
    const QString path = joinPath(dir.path(), name.name());
    QVERIFY(::close(::open(bytesOfName(path).constData(), O_CREAT | O_WRONLY, 0666)) == 0);
    QCOMPARE(listFolderFiles(dir.path(), NameFilter(QStringLiteral("*") + shown.right(2))), QStringList{name.name()});
    QCOMPARE(displayName(name.name()), shown);
    QVERIFY(::unlink(bytesOfName(path).constData()) == 0);
}

void TestListing::listsOnlyVisibleRegularFiles()
{
    QTemporaryDir dir;
    for (const char *name : {"b.txt", "a.jpg", ".hidden", "c.png"}) {
        QFile file(dir.filePath(QString::fromUtf8(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.txt")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("b.txt")), dir.filePath(QStringLiteral("link.txt"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("missing")), dir.filePath(QStringLiteral("dangling.txt"))));

    bool ok = false;
    QCOMPARE(listFolderFiles(dir.path(), NameFilter(), &ok),
             (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.txt"), QStringLiteral("c.png"), QStringLiteral("link.txt")}));
    QVERIFY(ok);
    QCOMPARE(listFolderFiles(dir.path(), NameFilter(QStringLiteral("*.txt"))),
             (QStringList{QStringLiteral("b.txt"), QStringLiteral("link.txt")}));
    QCOMPARE(listSubfolders(dir.path()), QStringList{QStringLiteral("folder.txt")});
    // One reading for both lists: the pattern picks files only.
    const FolderContents both = listFolder(dir.path(), NameFilter(QStringLiteral("*.jpg")));
    QCOMPARE(both.files, QStringList{QStringLiteral("a.jpg")});
    QCOMPARE(both.subfolders, QStringList{QStringLiteral("folder.txt")});

    // Numbers of either width and both cases in a folder's listing, filtered.
    QTemporaryDir batch;
    QStringList names;
    for (const char *name : {"p10.jpg", "P9.jpg", "p１１.jpg", "q.txt", "p9.jpg"}) {
        names.append(QString::fromUtf8(name));
        QFile file(batch.filePath(names.last()));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QStringList inOrder = listFolderFiles(batch.path(), NameFilter(QStringLiteral("*.jpg")));
    QCOMPARE(inOrder, (QStringList{QStringLiteral("P9.jpg"), QStringLiteral("p9.jpg"), QStringLiteral("p10.jpg"),
                                   QString::fromUtf8("p１１.jpg")}));
}

void TestListing::unreadableFolderReported()
{
    bool ok = true;
    QVERIFY(listFolderFiles(QStringLiteral("/nonexistent/folder"), NameFilter(), &ok).isEmpty());
    QVERIFY(!ok);
}

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
