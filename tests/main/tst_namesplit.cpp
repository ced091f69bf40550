#include "main/namesplit.h"

#include <QTest>

class TestNameSplit : public QObject
{
    Q_OBJECT

private slots:
    void split_data();
    void split();
    void joinDropsDotForEmptyExtension();
};

void TestNameSplit::split_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");

    QTest::newRow("plain") << "photo.JPG" << "photo" << "JPG";
    QTest::newRow("last dot wins") << "report.2007.txt" << "report.2007" << "txt";
    QTest::newRow("leading dot only") << ".profile" << "" << "profile";
    QTest::newRow("no dot") << "README" << "README" << "";
    QTest::newRow("double dot") << "a..b" << "a." << "b";
    QTest::newRow("trailing dot passed over") << "notes.old." << "notes" << "old.";
    QTest::newRow("only dot is last") << "memo." << "memo." << "";
    QTest::newRow("full-width dot is no separator") << "写真．jpg" << "写真．jpg" << "";
    QTest::newRow("one-character extension") << "x.c" << "x" << "c";
    QTest::newRow("single dot name") << "." << "." << "";
    QTest::newRow("empty") << "" << "" << "";
    QTest::newRow("japanese") << "旅行 写真.jpeg" << "旅行 写真" << "jpeg";
}

void TestNameSplit::split()
{
    QFETCH(QString, fileName);
    QFETCH(QString, name);
    QFETCH(QString, extension);
    const SplitName result = splitName(fileName);
    QCOMPARE(result.name, name);
    QCOMPARE(result.extension, extension);
}

void TestNameSplit::joinDropsDotForEmptyExtension()
{
    QCOMPARE(joinName(QStringLiteral("trip"), QStringLiteral("JPG")), QStringLiteral("trip.JPG"));
    QCOMPARE(joinName(QStringLiteral("readme2"), QString()), QStringLiteral("readme2"));
    QCOMPARE(joinName(QString(), QStringLiteral("txt")), QStringLiteral(".txt"));
}

QTEST_GUILESS_MAIN(TestNameSplit)
#include "tst_namesplit.moc"
