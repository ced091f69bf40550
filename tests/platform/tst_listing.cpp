#include "platform/listing.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestListing : public QObject
{
    Q_OBJECT

private slots:
    void filter_data();
    void filter();
    void naturalOrder();
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
}

void TestListing::unreadableFolderReported()
{
    bool ok = true;
    QVERIFY(listFolderFiles(QStringLiteral("/nonexistent/folder"), NameFilter(), &ok).isEmpty());
    QVERIFY(!ok);
}

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
