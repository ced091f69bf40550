#include "dialogs/patternentries.h"

#include <QTest>

namespace {

// The form the dialog writes: "*." and an extension per piece, ";" between pieces, none at the end.
bool isWellFormed(const QString &pattern)
{
    const QStringList pieces = pattern.split(QLatin1Char(';'));
    for (const QString &piece : pieces) {
        if (piece.size() <= 2 || !piece.startsWith(QLatin1String("*.")))
            return false;
    }
    return true;
}

// A pattern longer than start-up reads back: "*.e000;*.e001;..." of 300 characters and more.
QStringList longEntries()
{
    QStringList entries;
    for (int i = 0; i < 60; ++i)
        entries.append(QStringLiteral("e%1").arg(i, 3, 10, QLatin1Char('0')));
    return entries;
}

} // namespace

class TestPatternEntries : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void join_data();
    void join();
    void wellFormedPatternSurvivesRoundTrip_data();
    void wellFormedPatternSurvivesRoundTrip();
    void malformedPatternSavesWellFormed_data();
    void malformedPatternSavesWellFormed();
    void cutPatternKeepsWholePieces_data();
    void cutPatternKeepsWholePieces();
};

void TestPatternEntries::parse_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("all files") << "*.*" << QStringList{"ALL"};
    QTest::newRow("one extension") << "*.txt" << QStringList{"txt"};
    QTest::newRow("two extensions") << "*.txt;*.jpg" << QStringList{"txt", "jpg"};
    QTest::newRow("all files first") << "*.*;*.txt" << QStringList{"*", "txt"};
    QTest::newRow("only the last all-files piece is ALL") << "*.txt;*.*" << QStringList{"txt", "ALL"};
    QTest::newRow("entry with its dot") << "*..txt" << QStringList{".txt"};
    QTest::newRow("duplicates kept") << "*.txt;*.txt" << QStringList{"txt", "txt"};
    QTest::newRow("pieces cut by position") << "*.a;bcd" << QStringList{"a", "d"};
    QTest::newRow("no stored pattern") << "" << QStringList{"ALL"};
    QTest::newRow("star alone") << "*" << QStringList{"ALL"};
    QTest::newRow("star dot alone") << "*." << QStringList{"ALL"};
    QTest::newRow("one character") << "x" << QStringList{"ALL"};
    QTest::newRow("separator alone") << ";" << QStringList{"ALL"};
    QTest::newRow("separators only") << ";;;" << QStringList{"ALL"};
    QTest::newRow("trailing separator") << "*.txt;" << QStringList{"txt"};
    QTest::newRow("star after separator") << "*.a;*" << QStringList{"a"};
    QTest::newRow("star dot after separator") << "*.a;*." << QStringList{"a"};
    QTest::newRow("short piece in the middle") << "*.a;*;*.b" << QStringList{"a", "*.b"};
    QTest::newRow("empty piece in the middle") << "*.a;;*.b" << QStringList{"a", ".b"};
}

void TestPatternEntries::parse()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, entries);
    QCOMPARE(parsePatternEntries(pattern), entries);
}

void TestPatternEntries::join_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("ALL alone") << QStringList{"ALL"} << "*.*";
    QTest::newRow("two extensions") << QStringList{"txt", "jpg"} << "*.txt;*.jpg";
    QTest::newRow("star first") << QStringList{"*", "txt"} << "*.*;*.txt";
    QTest::newRow("ALL first") << QStringList{"ALL", "txt"} << "*.*;*.txt";
    QTest::newRow("ALL later is an extension") << QStringList{"txt", "ALL"} << "*.txt;*.ALL";
    QTest::newRow("empty first") << QStringList{"", "txt"} << "*.*;*.txt";
    QTest::newRow("typed with its dot") << QStringList{".txt"} << "*..txt";
    QTest::newRow("duplicates kept") << QStringList{"txt", "txt"} << "*.txt;*.txt";
    QTest::newRow("empty list means all files") << QStringList{} << "*.*";
}

void TestPatternEntries::join()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, pattern);
    QCOMPARE(joinPatternEntries(entries), pattern);
}

void TestPatternEntries::wellFormedPatternSurvivesRoundTrip_data()
{
    QTest::addColumn<QString>("pattern");

    QTest::newRow("all files") << "*.*";
    QTest::newRow("one extension") << "*.jpg";
    QTest::newRow("two extensions") << "*.jpg;*.png";
    QTest::newRow("all files first") << "*.*;*.txt";
    QTest::newRow("two dots") << "*..txt";
    QTest::newRow("duplicates") << "*.txt;*.txt";
    QTest::newRow("long") << joinPatternEntries(longEntries());
}

void TestPatternEntries::wellFormedPatternSurvivesRoundTrip()
{
    QFETCH(QString, pattern);
    QCOMPARE(joinPatternEntries(parsePatternEntries(pattern)), pattern);
}

void TestPatternEntries::malformedPatternSavesWellFormed_data()
{
    QTest::addColumn<QString>("pattern");

    QTest::newRow("empty") << "";
    QTest::newRow("star") << "*";
    QTest::newRow("star dot") << "*.";
    QTest::newRow("separator") << ";";
    QTest::newRow("trailing separator") << "*.txt;";
    QTest::newRow("star after separator") << "*.a;*";
    QTest::newRow("star dot after separator") << "*.a;*.";
    QTest::newRow("short piece in the middle") << "*.a;*;*.b";
    QTest::newRow("separators only") << ";;;";
    QTest::newRow("no star dot") << "txt";
    const QString stored = joinPatternEntries(longEntries());
    for (int length = 247; length <= 255; ++length)
        QTest::addRow("cut at %d", length) << stored.left(length);
}

void TestPatternEntries::malformedPatternSavesWellFormed()
{
    QFETCH(QString, pattern);
    const QStringList entries = parsePatternEntries(pattern);
    QVERIFY(!entries.isEmpty());
    QVERIFY(!entries.contains(QString()));
    const QString saved = joinPatternEntries(entries);
    QVERIFY2(isWellFormed(saved), qPrintable(saved));
    // Opened and saved once more, it stays as it is.
    QCOMPARE(joinPatternEntries(parsePatternEntries(saved)), saved);
}

void TestPatternEntries::cutPatternKeepsWholePieces_data()
{
    QTest::addColumn<int>("length");
    for (int length = 247; length <= 255; ++length)
        QTest::addRow("cut at %d", length) << length;
}

void TestPatternEntries::cutPatternKeepsWholePieces()
{
    QFETCH(int, length);
    const QStringList original = longEntries();
    const QStringList entries = parsePatternEntries(joinPatternEntries(original).left(length));
    // Every piece before the cut comes through whole; the cut piece shows what is left of it.
    QVERIFY(entries.size() >= 30);
    for (qsizetype i = 0; i + 1 < entries.size(); ++i)
        QCOMPARE(entries.at(i), original.at(i));
    QVERIFY(original.at(entries.size() - 1).startsWith(entries.last()));
}

QTEST_GUILESS_MAIN(TestPatternEntries)
#include "tst_patternentries.moc"
