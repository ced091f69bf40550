#include "batch/removalrule.h"

#include <QTest>

class TestRemovalRule : public QObject
{
    Q_OBJECT

private slots:
    void removesEveryOccurrence_data();
    void removesEveryOccurrence();
};

void TestRemovalRule::removesEveryOccurrence_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QChar>("removed");
    QTest::addColumn<QString>("expected");

    const QChar space = QLatin1Char(' ');
    const QChar underscore = QLatin1Char('_');
    QTest::newRow("spaces") << QStringLiteral("my file 1.txt") << space << QStringLiteral("myfile1.txt");
    QTest::newRow("underscores, trailing one too") << QStringLiteral("my_file_.txt") << underscore << QStringLiteral("myfile.txt");
    QTest::newRow("inside the extension") << QStringLiteral("a b.t x t") << space << QStringLiteral("ab.txt");
    QTest::newRow("runs and both ends") << QStringLiteral("  a   b  ") << space << QStringLiteral("ab");
    QTest::newRow("full-width space stays") << QStringLiteral("my　file.txt") << space << QStringLiteral("my　file.txt");
    QTest::newRow("full-width low line stays") << QStringLiteral("my＿file.txt") << underscore << QStringLiteral("my＿file.txt");
    QTest::newRow("space removal leaves underscores") << QStringLiteral("a_b c.txt") << space << QStringLiteral("a_bc.txt");
    QTest::newRow("underscore removal leaves spaces") << QStringLiteral("a_b c.txt") << underscore << QStringLiteral("ab c.txt");
    QTest::newRow("nothing to remove") << QStringLiteral("plain.txt") << space << QStringLiteral("plain.txt");
    QTest::newRow("only the character") << QStringLiteral("___") << underscore << QString();
    QTest::newRow("other scripts untouched") << QStringLiteral("写真 😀 _x.jpg") << space << QStringLiteral("写真😀_x.jpg");
}

void TestRemovalRule::removesEveryOccurrence()
{
    QFETCH(QString, name);
    QFETCH(QChar, removed);
    QFETCH(QString, expected);
    QCOMPARE(removeAll(name, removed), expected);
}

QTEST_GUILESS_MAIN(TestRemovalRule)
#include "tst_removalrule.moc"
