#include "batch/serialname.h"

#include <QTest>

#include <limits>

class TestSerialRules : public QObject
{
    Q_OBJECT

private slots:
    void serialNames_data();
    void serialNames();
    void serialRuleNumbersInListingOrder();
    void serialNumberStopsAtInt32Max_data();
    void serialNumberStopsAtInt32Max();
    void serialRuleRefusesPastInt32Max();
    void unifiedNames_data();
    void unifiedNames();
    void unifiedRuleIgnoresIndex();
};

void TestSerialRules::serialNames_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("oldName");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<int>("width");

    QTest::newRow("keeps own extension") << "Re" << 1 << "b.jpg" << "Re1.jpg" << 0;
    QTest::newRow("only last extension") << "Re" << 1 << "archive.tar.gz" << "Re1.gz" << 0;
    QTest::newRow("leading dot is the separator") << "Re" << 1 << ".profile" << "Re1.profile" << 0;
    QTest::newRow("one-character extension") << "Re" << 7 << "x.c" << "Re7.c" << 0;
    QTest::newRow("no extension, no trailing dot") << "Re" << 1 << "README" << "Re1" << 0;
    QTest::newRow("only dot is last") << "Re" << 1 << "memo." << "Re1" << 0;
    QTest::newRow("case of extension kept") << "Re" << 3 << "IMG.JPG" << "Re3.JPG" << 0;
    QTest::newRow("no leading zeros") << "XXX" << 1 << "a.png" << "XXX1.png" << 0;
    QTest::newRow("negative has minus") << "Re" << -1 << "a.txt" << "Re-1.txt" << 0;
    QTest::newRow("zero") << "Re" << 0 << "a.txt" << "Re0.txt" << 0;
    QTest::newRow("lowest int32") << "Re" << std::numeric_limits<int>::min() << "a.txt" << "Re-2147483648.txt" << 0;
    QTest::newRow("highest int32") << "Re" << std::numeric_limits<int>::max() << "a.txt" << "Re2147483647.txt" << 0;
    QTest::newRow("padded to the width") << "Re" << 1 << "a.jpg" << "Re001.jpg" << 3;
    QTest::newRow("wider numbers grow") << "Re" << 1000 << "a.jpg" << "Re1000.jpg" << 3;
    QTest::newRow("sign before the zeros") << "Re" << -2 << "a.jpg" << "Re-002.jpg" << 3;
    QTest::newRow("lowest int32 padded") << "Re" << std::numeric_limits<int>::min() << "a" << "Re-02147483648" << 11;
    QTest::newRow("japanese head") << "旅行" << 12 << "写真.jpeg" << "旅行12.jpeg" << 0;
    QTest::newRow("space head kept") << " " << 5 << "a.txt" << " 5.txt" << 0;
}

void TestSerialRules::serialNames()
{
    QFETCH(QString, prefix);
    QFETCH(int, number);
    QFETCH(QString, oldName);
    QFETCH(QString, newName);
    QFETCH(int, width);
    QCOMPARE(serialName(prefix, number, oldName, width), newName);
}

void TestSerialRules::serialRuleNumbersInListingOrder()
{
    const NameRule fromMinusOne = serialNameRule(QStringLiteral("Re"), -1);
    QCOMPARE(fromMinusOne(0, QStringLiteral("b.jpg")).name, QStringLiteral("Re-1.jpg"));
    QCOMPARE(fromMinusOne(1, QStringLiteral("c.png")).name, QStringLiteral("Re0.png"));
    QCOMPARE(fromMinusOne(2, QStringLiteral("d.txt")).name, QStringLiteral("Re1.txt"));

    const NameRule fromTwo = serialNameRule(QStringLiteral("Re"), 2);
    QCOMPARE(fromTwo(0, QStringLiteral("Re1.jpg")).name, QStringLiteral("Re2.jpg"));
    QCOMPARE(fromTwo(1, QStringLiteral("Re2.jpg")).name, QStringLiteral("Re3.jpg"));
    QVERIFY(fromTwo(1, QStringLiteral("Re2.jpg")).refusal.isEmpty());
}

void TestSerialRules::serialNumberStopsAtInt32Max_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<qint64>("number");

    const int max = std::numeric_limits<int>::max();
    const int min = std::numeric_limits<int>::min();
    QTest::newRow("last that fits") << max - 2 << 2 << true << qint64(max);
    QTest::newRow("one past") << max - 2 << 3 << false << qint64(0);
    QTest::newRow("max start, first file") << max << 0 << true << qint64(max);
    QTest::newRow("max start, second file") << max << 1 << false << qint64(0);
    QTest::newRow("most files from max") << max << 32766 << false << qint64(0);
    QTest::newRow("min start") << min << 0 << true << qint64(min);
    QTest::newRow("min start climbs") << min << 32766 << true << qint64(min) + 32766;
}

void TestSerialRules::serialNumberStopsAtInt32Max()
{
    QFETCH(int, start);
    QFETCH(int, index);
    QFETCH(bool, fits);
    QFETCH(qint64, number);
    const std::optional<qint32> result = serialNumber(start, index);
    QCOMPARE(result.has_value(), fits);
    if (fits)
        QCOMPARE(qint64(*result), number);
}

void TestSerialRules::serialRuleRefusesPastInt32Max()
{
    const NameRule rule = serialNameRule(QStringLiteral("Re"), std::numeric_limits<int>::max());
    const NewName first = rule(0, QStringLiteral("a.txt"));
    QVERIFY(first.refusal.isEmpty());
    QCOMPARE(first.name, QStringLiteral("Re2147483647.txt"));

    const NewName second = rule(1, QStringLiteral("b.txt"));
    QVERIFY(!second.refusal.isEmpty());
    QVERIFY(second.name.isEmpty());
    // The number it would have had, never a wrapped-round negative one.
    QVERIFY(second.refusal.contains(QStringLiteral("2147483648")));
    QVERIFY(!second.refusal.contains(QStringLiteral("-2147483648")));
}

void TestSerialRules::unifiedNames_data()
{
    QTest::addColumn<QString>("oldName");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("newName");

    QTest::newRow("plain") << "a.jpg" << "txt" << "a.txt";
    QTest::newRow("inner dot kept") << "b.c.png" << "txt" << "b.c.txt";
    QTest::newRow("dot file keeps empty base") << ".profile" << "txt" << ".txt";
    QTest::newRow("case as typed") << "a.JPG" << "jpg" << "a.jpg";
    QTest::newRow("base case untouched") << "Photo.JPG" << "png" << "Photo.png";
    QTest::newRow("same extension") << "a.txt" << "txt" << "a.txt";
    QTest::newRow("typed dot doubles") << "a.jpg" << ".txt" << "a..txt";
    QTest::newRow("empty drops the dot") << "a.jpg" << "" << "a";
    QTest::newRow("no extension gains one") << "README" << "txt" << "README.txt";
    QTest::newRow("no extension, empty") << "README" << "" << "README";
    QTest::newRow("trailing dot is part of the name") << "memo." << "txt" << "memo..txt";
    QTest::newRow("spaces as typed") << "a.jpg" << " t x " << "a. t x ";
    QTest::newRow("full-width extension") << "写真.jpg" << "ｊｐｇ" << "写真.ｊｐｇ";
}

void TestSerialRules::unifiedNames()
{
    QFETCH(QString, oldName);
    QFETCH(QString, extension);
    QFETCH(QString, newName);
    QCOMPARE(unifiedName(oldName, extension), newName);
}

void TestSerialRules::unifiedRuleIgnoresIndex()
{
    const NameRule rule = unifiedNameRule(QStringLiteral("png"));
    QCOMPARE(rule(0, QStringLiteral("a.jpg")).name, QStringLiteral("a.png"));
    QCOMPARE(rule(32766, QStringLiteral("z.gif")).name, QStringLiteral("z.png"));
    QVERIFY(rule(32766, QStringLiteral("z.gif")).refusal.isEmpty());
}

QTEST_GUILESS_MAIN(TestSerialRules)
#include "tst_serialrules.moc"
