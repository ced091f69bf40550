#include "batch/batchmessage.h"
#include "batch/preview.h"
#include "batch/removalrule.h"
#include "batch/serialname.h"
#include "batch/twophasemove.h"
#include "batch/utf8name.h"
#include "platform/filename.h"
#include "platform/programfolder.h"
#include "support/faultyfilesystem.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// Each file gets content of its own (its name repeated), so that a swap of two files shows.
void writeWithOwnContent(const QString &path, const QByteArray &content = QByteArray())
{
    writeFile(path, content.isEmpty() ? bytesOfName(path.sliced(path.lastIndexOf(QLatin1Char('/')) + 1)).repeated(3) : content);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

NameRule removing(QChar ch)
{
    return [ch](int, const QString &oldName) { return NewName::of(removeAll(oldName, ch)); };
}

// A rule from a table of "old|new" pairs; a new name "!why" refuses with that reason, and names
// the table lacks keep their name.
NameRule fromTable(const QStringList &pairs)
{
    QHash<QString, QString> table;
    for (const QString &pair : pairs) {
        const qsizetype bar = pair.indexOf(QLatin1Char('|'));
        table.insert(pair.left(bar), pair.mid(bar + 1));
    }
    return [table](int, const QString &oldName) {
        const QString newName = table.value(oldName, oldName);
        if (newName.startsWith(QLatin1Char('!')))
            return NewName::refused(newName.mid(1));
        return NewName::of(newName);
    };
}

QStringList allContents(const QList<Snapshot> &snapshots)
{
    QStringList contents;
    for (const Snapshot &shot : snapshots) {
        for (const QByteArray &content : shot)
            contents.append(QString::fromUtf8(content));
    }
    contents.sort();
    return contents;
}

class RecordingObserver : public BatchObserver
{
public:
    FsResult planned(const BatchMover &batch) override
    {
        events.append(QStringLiteral("planned %1").arg(batch.moves().size()));
        return refusePlan;
    }
    void moving(const BatchMove &move) override { events.append(QStringLiteral("moving %1").arg(int(move.step))); }
    void moved(const BatchMove &move, const FsResult &result) override
    {
        events.append(QStringLiteral("moved %1 %2").arg(int(move.step)).arg(result.ok()));
    }
    void finished(const BatchReport &report) override { events.append(QStringLiteral("finished %1").arg(int(report.outcome))); }

    QStringList events;
    FsResult refusePlan;
};

// Names of the table-driven rows in the refused-batch test: the real folder, a limit of ten
// bytes, or the name rules of a share or of exFAT.
enum class Limit { Real, TenBytes, Share, ExFat };

} // namespace

Q_DECLARE_METATYPE(BatchProblem)
Q_DECLARE_METATYPE(Limit)
Q_DECLARE_METATYPE(BatchOutcome)

class TestTwoPhaseMove : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void permutationOfNames();
    void spaceRemovalRenamesListedFilesOnly();
    void refusedBeforeAnyMove_data();
    void refusedBeforeAnyMove();
    void everyOffenderNamedInListingOrder();
    void previewReadsAndTouchesNothing_data();
    void previewReadsAndTouchesNothing();
    void caseBlindFolderComparesNamesFolded_data();
    void caseBlindFolderComparesNamesFolded();
    void rawNamesRenamedByteForByte_data();
    void rawNamesRenamedByteForByte();

    void leftoversSweptWhenShownAndFree();
    void emptyListingStillSweeps();
    void filterHidingRenamedFilesBringsThemBack();

    void refusedMoveRollsBack_data();
    void refusedMoveRollsBack();
    void refusedUndoStrandsWithoutLoss_data();
    void refusedUndoStrandsWithoutLoss();
    void refusedSweepKeepsLeftoverAndBatch();
    void fileReplacedAfterPlanStopsBatch();
    void plannedLooksMatchEachName();

    void stagingRouteWhenWorkFolderIsElsewhere();
    void stagingFolderStaysWhileItHoldsLeftovers();
    void stagingRollbackLeavesNoStagingFolder();
    void folderIsTheWorkFolder();
    void missingWorkFolderIsCreated();
    void uncreatableWorkFolderRefuses();

    void observerSeesPlanAndEveryMove();
    void observerThatCannotRecordRefusesBatch();
    void moreFilesThanSixteenBitsCount();

    void anotherMountStagesFiles();
    void readOnlyMountRefusesWithoutChange();

private:
    QString folder() const { return m_root->filePath(QStringLiteral("files")); }
    QString work() const { return workFolderOf(m_root->filePath(QStringLiteral("prog"))); }
    void makeFiles(const QString &in, const QStringList &names);
    BatchReport runBatch(const QStringList &listing, const NameRule &rule, const QString &pattern = QString());
    // Runs this test function again in a private mount namespace with a tmpfs mounted at the
    // path the child finds in MIVOT_TMPFS; skips when the machine does not allow it.
    void rerunOnTmpfs(const char *testFunction);

    std::unique_ptr<QTemporaryDir> m_root;
    LinuxFileSystem m_real;
    std::unique_ptr<FaultyFileSystem> m_fs;
};

void TestTwoPhaseMove::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    QVERIFY(QDir().mkpath(folder()));
    QVERIFY(QDir().mkpath(work()));
    m_fs = std::make_unique<FaultyFileSystem>(m_real);
    // A batch moves its files through the folders it holds open, and only there.
    m_fs->forbidPathMoves();
}

void TestTwoPhaseMove::makeFiles(const QString &in, const QStringList &names)
{
    for (const QString &name : names)
        writeWithOwnContent(joinPath(in, name));
}

BatchReport TestTwoPhaseMove::runBatch(const QStringList &listing, const NameRule &rule, const QString &pattern)
{
    BatchMover batch(*m_fs, BatchPlan(*m_fs, BatchRequest{folder(), listing, work(), NameFilter(pattern), rule}));
    return batch.run();
}

void TestTwoPhaseMove::permutationOfNames()
{
    const QStringList names = {QStringLiteral("n1"), QStringLiteral("n2"), QStringLiteral("n3"), QStringLiteral("n4")};
    makeFiles(folder(), names);
    const Snapshot before = snapshot(folder());
    // Each file takes the next one's name, the last the first's.
    const BatchReport report = runBatch(names, [&](int index, const QString &) {
        return NewName::of(names.at((index + 1) % names.size()));
    });
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QCOMPARE(report.renamed, 4);
    const Snapshot after = snapshot(folder());
    QCOMPARE(after.keys(), names);
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(after.value(names.at((i + 1) % names.size())), before.value(names.at(i)));
    QVERIFY(snapshot(work()).isEmpty());
    QCOMPARE(m_fs->moveCount(), 8);
    QCOMPARE(m_fs->pairMoveCount(), 8);
}

void TestTwoPhaseMove::spaceRemovalRenamesListedFilesOnly()
{
    makeFiles(folder(), {QStringLiteral("my file 1.txt"), QStringLiteral("x y.txt"), QStringLiteral("plain.txt"),
                         QStringLiteral("a b.jpg")});
    const QString spaced = contentOf(joinPath(folder(), QStringLiteral("my file 1.txt")));
    const BatchReport report = runBatch(listFolderFiles(folder(), NameFilter(QStringLiteral("*.txt"))),
                                        removing(QLatin1Char(' ')), QStringLiteral("*.txt"));
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QCOMPARE(report.renamed, 3);
    QCOMPARE(snapshot(folder()).keys(), (QStringList{QStringLiteral("a b.jpg"), QStringLiteral("myfile1.txt"),
                                                     QStringLiteral("plain.txt"), QStringLiteral("xy.txt")}));
    QCOMPARE(contentOf(joinPath(folder(), QStringLiteral("myfile1.txt"))), spaced);
    QVERIFY(report.leftovers.isEmpty());
}

void TestTwoPhaseMove::rawNamesRenamedByteForByte_data()
{
    using Names = QList<QByteArray>;
    QTest::addColumn<Names>("files");
    QTest::addColumn<QString>("command"); // "_", " ", "serial:<head>", "ext:<extension>" or "utf8"
    QTest::addColumn<Names>("expected");  // each file's new name; empty: the batch is refused

    // ダ is 0x83 0x5F in CP932: its trail byte is a low line and stays.
    QTest::newRow("cp932 trail byte") << Names{"\x83\x5f_1.txt", "a_b.txt"} << "_" << Names{"\x83\x5f" "1.txt", "ab.txt"};
    QTest::newRow("cp932 space") << Names{"\x8e\xca\x90\x5e 1.jpg"} << " " << Names{"\x8e\xca\x90\x5e" "1.jpg"};
    QTest::newRow("cp932 head typed") << Names{"\x8e\xca\x90\x5e.\x8e\xca"} << QStringLiteral("serial:連")
                                      << Names{"\x98\x41" "1.\x8e\xca"};
    QTest::newRow("cp932 extension") << Names{"\x83\x5f.jpg"} << "ext:txt" << Names{"\x83\x5f.txt"};
    // 髙 in its NEC-selected code keeps it, though Windows' own conversion would write FB FC.
    QTest::newRow("cp932 twin codes kept") << Names{"\xee\xe0 \x87\x90\xfb\xfc.jpg"} << " " << Names{"\xee\xe0\x87\x90\xfb\xfc.jpg"};
    QTest::newRow("look-alikes already there stay") << Names{"\x8e\xca\x90\x5e.jpg", "写真.jpg"} << " "
                                                    << Names{"\x8e\xca\x90\x5e.jpg", "写真.jpg"};
    // 写真 1, 髙１ (a full-width digit) in CP932: the same characters in UTF-8; the rest stays.
    QTest::newRow("converted to utf-8") << Names{"\x8e\xca\x90\x5e 1.jpg", "\xee\xe0\x82\x50.jpg", "caf\xe9.txt", "a b.txt"}
                                        << "utf8" << Names{"写真 1.jpg", "髙１.jpg", "caf\xe9.txt", "a b.txt"};
    QTest::newRow("one invalid byte apart") << Names{"caf\xe9.txt", "caf\xe8.txt"} << "serial:Re"
                                            << Names{"Re2.txt", "Re1.txt"};
    QTest::newRow("neither utf-8 nor cp932") << Names{"\xff a\xfe.txt"} << " " << Names{"\xff" "a\xfe.txt"};
    QTest::newRow("head cp932 cannot write") << Names{"\x83\x5f.txt", "ok.txt"} << QStringLiteral("serial:😀") << Names{};
}

void TestTwoPhaseMove::rawNamesRenamedByteForByte()
{
    QFETCH(QList<QByteArray>, files);
    QFETCH(QString, command);
    QFETCH(QList<QByteArray>, expected);
    for (const QByteArray &name : files)
        writeFile(joinPath(folder(), nameFromBytes(name)), name);
    const Snapshot before = snapshot(folder());
    NameRule rule = removing(command.at(0));
    if (command.startsWith(QLatin1String("serial:")))
        rule = serialNameRule(command.mid(7), 1);
    else if (command.startsWith(QLatin1String("ext:")))
        rule = unifiedNameRule(command.mid(4));
    else if (command == QLatin1String("utf8"))
        rule = utf8Name;
    const BatchReport report = runBatch(listFolderFiles(folder(), NameFilter()), rule);

    if (expected.isEmpty()) {
        QCOMPARE(report.outcome, BatchOutcome::Refused);
        QCOMPARE(report.problems.size(), 1);
        QCOMPARE(report.problems.at(0).problem, BatchProblem::UnwritableName);
        QCOMPARE(report.problems.at(0).oldName, nameFromBytes(files.at(0)));
        QVERIFY(batchMessage(report).contains(QStringLiteral("・ダ.txt → 😀2.txt（")));
        QCOMPARE(snapshot(folder()), before);
    } else {
        QCOMPARE(report.outcome, BatchOutcome::Done);
        Snapshot after;
        for (qsizetype i = 0; i < files.size(); ++i)
            after.insert(nameFromBytes(expected.at(i)), files.at(i));
        QCOMPARE(snapshot(folder()), after);
    }
    clearFolder(folder());
}

void TestTwoPhaseMove::refusedBeforeAnyMove_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("subfolders");
    QTest::addColumn<QStringList>("listing");
    QTest::addColumn<QStringList>("workFiles");
    QTest::addColumn<QStringList>("table"); // empty: space removal
    QTest::addColumn<Limit>("limit");
    QTest::addColumn<BatchProblem>("problem");
    QTest::addColumn<QString>("offender");

    const QStringList none;
    const QString a = QStringLiteral("a");
    QTest::newRow("two new names the same")
        << QStringList{QStringLiteral("a b.txt"), QStringLiteral("ab.txt")} << none
        << QStringList{QStringLiteral("a b.txt"), QStringLiteral("ab.txt")} << none << none << Limit::Real
        << BatchProblem::SameNewName << QStringLiteral("ab.txt");
    QTest::newRow("name of spaces only becomes empty")
        << QStringList{QStringLiteral("   ")} << none << QStringList{QStringLiteral("   ")} << none << none
        << Limit::Real << BatchProblem::EmptyName << QStringLiteral("   ");
    QTest::newRow("dot") << QStringList{a} << none << QStringList{a} << none << QStringList{QStringLiteral("a|.")}
                         << Limit::Real << BatchProblem::DotName << a;
    QTest::newRow("dot dot") << QStringList{a} << none << QStringList{a} << none << QStringList{QStringLiteral("a|..")}
                             << Limit::Real << BatchProblem::DotName << a;
    QTest::newRow("slash") << QStringList{a} << none << QStringList{a} << none << QStringList{QStringLiteral("a|x/y")}
                           << Limit::Real << BatchProblem::BadCharacter << a;
    QTest::newRow("becomes hidden")
        << QStringList{QStringLiteral(" .txt")} << none << QStringList{QStringLiteral(" .txt")} << none << none
        << Limit::Real << BatchProblem::HiddenName << QStringLiteral(" .txt");
    QTest::newRow("longer than the filesystem takes")
        << QStringList{a} << none << QStringList{a} << none << QStringList{QStringLiteral("a|") + QString(256, QLatin1Char('b'))}
        << Limit::Real << BatchProblem::NameTooLong << a;
    QTest::newRow("long in bytes, not in characters")
        << QStringList{a} << none << QStringList{a} << none << QStringList{QStringLiteral("a|") + QString(86, QChar(0x3042))}
        << Limit::Real << BatchProblem::NameTooLong << a;
    QTest::newRow("the folder's own limit")
        << QStringList{a} << none << QStringList{a} << none << QStringList{QStringLiteral("a|abcdefghijk")}
        << Limit::TenBytes << BatchProblem::NameTooLong << a;
    QTest::newRow("a character a share refuses")
        << QStringList{a} << none << QStringList{a} << none << QStringList{QStringLiteral("a|10:30.jpg")}
        << Limit::Share << BatchProblem::RefusedByFilesystem << a;
    QTest::newRow("a trailing dot on a share")
        << QStringList{a} << none << QStringList{a} << none << QStringList{QStringLiteral("a|photo.")}
        << Limit::Share << BatchProblem::RefusedByFilesystem << a;
    QTest::newRow("a device name on a share")
        << QStringList{a} << none << QStringList{a} << none << QStringList{QStringLiteral("a|con.txt")}
        << Limit::Share << BatchProblem::RefusedByFilesystem << a;
    QTest::newRow("over 255 UTF-16 units on exFAT")
        << QStringList{a} << none << QStringList{a} << none << QStringList{QStringLiteral("a|") + QString(256, QChar(0x3042))}
        << Limit::ExFat << BatchProblem::RefusedByFilesystem << a;
    QTest::newRow("taken in the work folder")
        << QStringList{QStringLiteral("a b.txt")} << none << QStringList{QStringLiteral("a b.txt")}
        << QStringList{QStringLiteral("ab.txt")} << none << Limit::Real << BatchProblem::TakenInHoldingFolder
        << QStringLiteral("a b.txt");
    QTest::newRow("taken by a file the listing does not show")
        << QStringList{QStringLiteral("a b.txt"), QStringLiteral("ab.txt")} << none
        << QStringList{QStringLiteral("a b.txt")} << none << none << Limit::Real << BatchProblem::TakenInFolder
        << QStringLiteral("a b.txt");
    QTest::newRow("taken by a subfolder")
        << QStringList{QStringLiteral("a b")} << QStringList{QStringLiteral("ab")} << QStringList{QStringLiteral("a b")}
        << none << none << Limit::Real << BatchProblem::TakenInFolder << QStringLiteral("a b");
    // 写真 1.jpg in CP932 becomes 写真1.jpg in CP932, which shows as the UTF-8 name beside it.
    const QString cp932Spaced = nameFromBytes("\x8e\xca\x90\x5e 1.jpg");
    QTest::newRow("looks like another new name")
        << QStringList{QStringLiteral("写真1.jpg"), cp932Spaced} << none << QStringList{QStringLiteral("写真1.jpg"), cp932Spaced}
        << none << none << Limit::Real << BatchProblem::SameNewName << cp932Spaced;
    QTest::newRow("looks like a file the listing does not show")
        << QStringList{QStringLiteral("写真1.jpg"), cp932Spaced} << none << QStringList{cp932Spaced} << none << none
        << Limit::Real << BatchProblem::TakenInFolder << cp932Spaced;
    QTest::newRow("rule refuses")
        << QStringList{a, QStringLiteral("b")} << none << QStringList{a, QStringLiteral("b")} << none
        << QStringList{QStringLiteral("b|!number too large")} << Limit::Real << BatchProblem::RuleRefused
        << QStringLiteral("b");
    QTest::newRow("listed file gone")
        << QStringList{a} << none << QStringList{a, QStringLiteral("gone")} << none << none << Limit::Real
        << BatchProblem::MissingFile << QStringLiteral("gone");
    QTest::newRow("listed twice")
        << QStringList{a} << none << QStringList{a, a} << none << none << Limit::Real << BatchProblem::ListedTwice << a;
    QTest::newRow("a folder where a listed file was")
        << QStringList{a} << QStringList{QStringLiteral("was file")} << QStringList{a, QStringLiteral("was file")} << none
        << none << Limit::Real << BatchProblem::MissingFile << QStringLiteral("was file");
}

void TestTwoPhaseMove::refusedBeforeAnyMove()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, subfolders);
    QFETCH(QStringList, listing);
    QFETCH(QStringList, workFiles);
    QFETCH(QStringList, table);
    QFETCH(Limit, limit);
    QFETCH(BatchProblem, problem);
    QFETCH(QString, offender);

    makeFiles(folder(), files);
    for (const QString &name : subfolders)
        QVERIFY(QDir(folder()).mkdir(name));
    makeFiles(work(), workFiles);
    if (limit == Limit::TenBytes)
        m_fs->setMaxNameLength(10);
    if (limit == Limit::Share || limit == Limit::ExFat)
        m_fs->setNameRules(*nameRulesOfType(limit == Limit::Share ? "cifs" : "exfat", ""));
    const Snapshot folderBefore = snapshot(folder());
    const Snapshot workBefore = snapshot(work());

    const NameRule named = table.isEmpty() ? removing(QLatin1Char(' ')) : fromTable(table);
    int formed = 0;
    const NameRule rule = [&](int index, const QString &oldName) { return ++formed, named(index, oldName); };
    // The preview, which reads the folder without looking at each file, finds the same problem,
    // and the batch that takes its names, without forming them again, too.
    const BatchPlan previewed(*m_fs, BatchRequest{folder(), listing, work(), NameFilter(), rule});
    QVERIFY(!previewed.ok());
    QCOMPARE(previewed.report().problems.size(), 1);
    QCOMPARE(previewed.report().problems.first().problem, problem);
    QCOMPARE(formed, listing.size());
    BatchMover batch(*m_fs, BatchPlan(*m_fs, previewed));
    const BatchReport report = batch.run();
    QCOMPARE(formed, listing.size());
    QCOMPARE(report.outcome, BatchOutcome::Refused);
    QCOMPARE(report.problems.size(), 1);
    QCOMPARE(report.problems.first().problem, problem);
    QCOMPARE(report.problems.first().oldName, offender);
    // A collision of encodings names the other spelling and the way out.
    const bool lookAlike = QByteArrayView(QTest::currentDataTag()).startsWith("looks like");
    QCOMPARE(report.problems.first().lookAlike, lookAlike ? QStringLiteral("写真1.jpg") : QString());
    QCOMPARE(batchMessage(report).contains(QStringLiteral("（CP932）と「写真1.jpg」（UTF-8）は文字コードが違うだけ")), lookAlike);
    QCOMPARE(m_fs->moveCount(), 0);
    QCOMPARE(snapshot(folder()), folderBefore);
    QCOMPARE(snapshot(work()), workBefore);

    // Where names are counted in UTF-16 units, 86 kana (258 bytes) fit.
    if (limit == Limit::ExFat) {
        const BatchPlan fits(*m_fs, BatchRequest{folder(), listing, work(), NameFilter(), fromTable({QStringLiteral("a|") + QString(86, QChar(0x3042))})});
        QVERIFY(fits.ok());
    }
    clearFolder(folder());
}

void TestTwoPhaseMove::everyOffenderNamedInListingOrder()
{
    QStringList names;
    for (int i = 1; i <= 15; ++i)
        names << QStringLiteral("f %1.txt").arg(i) << QStringLiteral("f%1.txt").arg(i);
    makeFiles(folder(), names);
    makeFiles(work(), {QStringLiteral("zz.txt")});
    names.append(QStringLiteral("z z.txt"));
    makeFiles(folder(), {QStringLiteral("z z.txt")});
    const QStringList listing = listFolderFiles(folder(), NameFilter());

    const BatchReport report = runBatch(listing, removing(QLatin1Char(' ')));
    QCOMPARE(report.outcome, BatchOutcome::Refused);
    QCOMPARE(report.problems.size(), 16);
    for (int i = 0; i < 15; ++i) {
        QCOMPARE(report.problems.at(i).oldName, QStringLiteral("f%1.txt").arg(i + 1));
        QCOMPARE(report.problems.at(i).detail, QStringLiteral("f %1.txt").arg(i + 1));
    }
    QCOMPARE(report.problems.last().problem, BatchProblem::TakenInHoldingFolder);
    QCOMPARE(m_fs->moveCount(), 0);
}

void TestTwoPhaseMove::previewReadsAndTouchesNothing_data()
{
    QTest::addColumn<QStringList>("files"); // in the folder; "*" before a name keeps it off the listing
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QStringList>("lines"); // the count line first

    QTest::newRow("space removal, one unchanged")
        << QStringList{QStringLiteral("a b.txt"), QStringLiteral("plain.txt")} << QStringLiteral("space")
        << QStringList{QStringLiteral("2 ファイル"), QStringLiteral("a b.txt → ab.txt"), QStringLiteral("plain.txt（変わりません）")};
    QTest::newRow("underscore removal onto a hidden file's name")
        << QStringList{QStringLiteral("x_y.txt"), QStringLiteral("*xy.txt"), QStringLiteral("u_.txt")} << QStringLiteral("underscore")
        << QStringList{QStringLiteral("2 ファイル（1 件の問題があるため、このままでは一括リネームは中止されます）"),
                       QStringLiteral("× x_y.txt → xy.txt（ファイルリストに表示されていない同じ名前のものがフォルダにあります）"),
                       QStringLiteral("u_.txt → u.txt")};
    QTest::newRow("serial numbers, one past the highest")
        << QStringList{QStringLiteral("b.jpg"), QStringLiteral("c.png"), QStringLiteral("README")} << QStringLiteral("serial")
        << QStringList{QStringLiteral("3 ファイル（1 件の問題があるため、このままでは一括リネームは中止されます）"),
                       QStringLiteral("b.jpg → Re2147483646.jpg"), QStringLiteral("c.png → Re2147483647.png"),
                       QStringLiteral("× README（連番 2147483648 は上限の 2147483647 を超えます）")};
    QTest::newRow("one extension, two files meet")
        << QStringList{QStringLiteral("a.jpg"), QStringLiteral("a.txt"), QStringLiteral("b.png")} << QStringLiteral("unify")
        << QStringList{QStringLiteral("3 ファイル（1 件の問題があるため、このままでは一括リネームは中止されます）"),
                       QStringLiteral("a.jpg → a.png"), QStringLiteral("× a.txt → a.png（「a.jpg」の新しい名前と同じになります）"),
                       QStringLiteral("b.png（変わりません）")};
}

void TestTwoPhaseMove::previewReadsAndTouchesNothing()
{
    QFETCH(QStringList, files);
    QFETCH(QString, rule);
    QFETCH(QStringList, lines);
    QStringList listing;
    for (const QString &file : files) {
        writeWithOwnContent(joinPath(folder(), file.startsWith(QLatin1Char('*')) ? file.mid(1) : file));
        if (!file.startsWith(QLatin1Char('*')))
            listing.append(file);
    }
    // A work folder that does not exist yet is not made by a preview.
    QVERIFY(QDir(work()).removeRecursively());
    const Snapshot before = snapshot(m_root->path());
    const NameRule rules[] = {removing(QLatin1Char(' ')), removing(QLatin1Char('_')),
                              serialNameRule(QStringLiteral("Re"), 2147483646), unifiedNameRule(QStringLiteral("png"))};
    const int which = QStringList{QStringLiteral("space"), QStringLiteral("underscore"), QStringLiteral("serial"),
                                  QStringLiteral("unify")}.indexOf(rule);
    const BatchPlan plan(*m_fs, BatchRequest{folder(), listing, work(), NameFilter(), rules[which]});
    QCOMPARE(plan.ok(), lines.first().endsWith(QStringLiteral("ファイル")));
    QCOMPARE(previewText(plan), lines.join(QLatin1Char('\n')));
    QCOMPARE(snapshot(m_root->path()), before);
    QCOMPARE(m_fs->moveCount(), 0);
}

void TestTwoPhaseMove::caseBlindFolderComparesNamesFolded_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<BatchOutcome>("outcome");
    QTest::addColumn<BatchProblem>("problem");
    QTest::newRow("new names one case apart") << QStringList{"x1.jpg", "x2.jpg"} << QStringList{"x1.jpg|IMG.jpg", "x2.jpg|img.jpg"}
                                              << BatchOutcome::Refused << BatchProblem::SameNewName;
    QTest::newRow("unlisted file in another case") << QStringList{"a.jpg"} << QStringList{"a.jpg|Other.JPG"}
                                                   << BatchOutcome::Refused << BatchProblem::TakenInFolder;
    QTest::newRow("change of case alone") << QStringList{"photo.JPG", "b.jpg"} << QStringList{"photo.JPG|photo.jpg", "b.jpg|B.jpg"}
                                          << BatchOutcome::Done << BatchProblem::MoveRefused;
}

void TestTwoPhaseMove::caseBlindFolderComparesNamesFolded()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, table);
    QFETCH(BatchOutcome, outcome);
    QFETCH(BatchProblem, problem);
    makeFiles(folder(), files);
    makeFiles(folder(), {QStringLiteral("other.jpg")});
    const Snapshot before = snapshot(folder());
    m_fs->setIgnoresCase(true);
    const BatchReport report = runBatch(files, fromTable(table));
    QCOMPARE(report.outcome, outcome);
    if (outcome == BatchOutcome::Refused) {
        QCOMPARE(report.problems.size(), 1);
        QCOMPARE(report.problems.first().problem, problem);
        QCOMPARE(snapshot(folder()), before);
    } else {
        QCOMPARE(snapshot(folder()).keys(), (QStringList{"B.jpg", "other.jpg", "photo.jpg"}));
    }
}

void TestTwoPhaseMove::leftoversSweptWhenShownAndFree()
{
    makeFiles(folder(), {QStringLiteral("a b.txt")});
    QVERIFY(QDir(folder()).mkdir(QStringLiteral("taken.txt")));
    makeFiles(work(), {QStringLiteral("left.txt"), QStringLiteral("hidden.jpg"), QStringLiteral("taken.txt")});
    const QByteArray leftContent = contentOf(joinPath(work(), QStringLiteral("left.txt")));

    const BatchReport report = runBatch({QStringLiteral("a b.txt")}, removing(QLatin1Char(' ')), QStringLiteral("*.txt"));
    QCOMPARE(report.outcome, BatchOutcome::Done);
    const Snapshot after = snapshot(folder());
    QCOMPARE(after.keys(), (QStringList{QStringLiteral("ab.txt"), QStringLiteral("left.txt"), QStringLiteral("taken.txt")}));
    QCOMPARE(after.value(QStringLiteral("left.txt")), leftContent);
    QCOMPARE(after.value(QStringLiteral("taken.txt")), QByteArray("<folder>"));
    QCOMPARE(snapshot(work()).keys(), (QStringList{QStringLiteral("hidden.jpg"), QStringLiteral("taken.txt")}));

    QMap<QString, LeftoverFate> fates;
    for (const Leftover &leftover : report.leftovers) {
        fates.insert(leftover.name, leftover.fate);
        QCOMPARE(leftover.from, work());
    }
    QCOMPARE(fates.value(QStringLiteral("left.txt")), LeftoverFate::Swept);
    QCOMPARE(fates.value(QStringLiteral("taken.txt")), LeftoverFate::NameTaken);
    QCOMPARE(fates.value(QStringLiteral("hidden.jpg")), LeftoverFate::NotShown);
    QCOMPARE(fates.size(), 3);
}

void TestTwoPhaseMove::emptyListingStillSweeps()
{
    makeFiles(work(), {QStringLiteral("left.txt")});
    const BatchReport report = runBatch({}, removing(QLatin1Char(' ')));
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QCOMPARE(snapshot(folder()).keys(), QStringList{QStringLiteral("left.txt")});
    QVERIFY(snapshot(work()).isEmpty());
}

void TestTwoPhaseMove::filterHidingRenamedFilesBringsThemBack()
{
    makeFiles(folder(), {QStringLiteral("a_b.t_xt"), QStringLiteral("c.t_xt")});
    const QString pattern = QStringLiteral("*.t_xt");
    const BatchReport report = runBatch(listFolderFiles(folder(), NameFilter(pattern)), removing(QLatin1Char('_')), pattern);
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QCOMPARE(snapshot(folder()).keys(), (QStringList{QStringLiteral("ab.txt"), QStringLiteral("c.txt")}));
    QVERIFY(snapshot(work()).isEmpty());
}

namespace {

// Names that trade places, one that changes alone and one that stays, in listing order.
const QStringList RollbackNames = {QStringLiteral("four x"), QStringLiteral("one"), QStringLiteral("same"),
                                   QStringLiteral("three"), QStringLiteral("two")};
const QStringList RollbackTable = {QStringLiteral("four x|fourx"), QStringLiteral("one|two"),
                                   QStringLiteral("three|one"), QStringLiteral("two|three")};

} // namespace

void TestTwoPhaseMove::refusedMoveRollsBack_data()
{
    QTest::addColumn<int>("refused");
    const int count = int(RollbackNames.size());
    for (int k = 1; k <= 2 * count; ++k)
        QTest::addRow("phase %d, move %d", k <= count ? 1 : 2, k) << k;
}

void TestTwoPhaseMove::refusedMoveRollsBack()
{
    QFETCH(int, refused);
    makeFiles(folder(), RollbackNames);
    makeFiles(work(), {QStringLiteral("left.txt")});
    const Snapshot folderBefore = snapshot(folder());
    const Snapshot workBefore = snapshot(work());
    // A card answers "not found" for a name it refuses, with the file still there: said as such.
    const int error = refused % 2 ? EACCES : ENOENT;
    m_fs->refuseMove(refused, error);

    const BatchReport report = runBatch(RollbackNames, fromTable(RollbackTable));
    const int count = int(RollbackNames.size());
    QCOMPARE(report.outcome, BatchOutcome::RolledBack);
    QCOMPARE(report.failedPhase, refused <= count ? 1 : 2);
    QCOMPARE(report.problems.size(), 1);
    QCOMPARE(report.problems.first().problem, BatchProblem::MoveRefused);
    QCOMPARE(report.problems.first().oldName, RollbackNames.at((refused - 1) % count));
    if (error == EACCES)
        QCOMPARE(report.problems.first().detail, FsResult::failure(EACCES).reason());
    else
        QVERIFY(report.problems.first().detail.contains(QStringLiteral("この名前を受け付けません")));
    QVERIFY(report.stranded.isEmpty());
    QVERIFY(report.leftovers.isEmpty());
    QCOMPARE(snapshot(folder()), folderBefore);
    QCOMPARE(snapshot(work()), workBefore);
}

// A listed file that another program replaces by a folder before its move: the folder keeps its
// name and every file is put back.
void TestTwoPhaseMove::fileReplacedAfterPlanStopsBatch()
{
    makeFiles(folder(), RollbackNames);
    Snapshot expected = snapshot(folder());
    const QString replaced = joinPath(folder(), RollbackNames.at(2));
    expected.insert(RollbackNames.at(2), "<folder>");
    m_fs->beforeMove(2, [&] { QVERIFY(QFile::remove(replaced) && QDir().mkdir(replaced)); });

    const BatchReport report = runBatch(RollbackNames, fromTable(RollbackTable));
    QCOMPARE(report.outcome, BatchOutcome::RolledBack);
    QCOMPARE(report.problems.size(), 1);
    QCOMPARE(report.problems.first().oldName, RollbackNames.at(2));
    QCOMPARE(snapshot(folder()), expected);
    QVERIFY(snapshot(work()).isEmpty());
}

// The plan's looks at the listed files: each name's own stamp in its place, nothing for a name
// that is not there, and a folder that cannot be opened says so.
void TestTwoPhaseMove::plannedLooksMatchEachName()
{
    constexpr int Files = 1000;
    QStringList names;
    for (int index = 0; index < Files; ++index) {
        names.append(index % 7 == 3 ? QStringLiteral("gone %1").arg(index) : QStringLiteral("f %1").arg(index));
        if (index % 7 != 3)
            writeFile(joinPath(folder(), names.last()), QByteArray(index % 50, 'x'));
    }
    LinuxFileSystem real;
    FsResult looked = FsResult::failure(EIO);
    const QList<FileStamp> stamps = real.fileStamps(folder(), names, &looked);
    QVERIFY(looked.ok());
    QCOMPARE(stamps.size(), names.size());
    for (int index = 0; index < Files; ++index) {
        QCOMPARE(stamps.at(index).exists(), index % 7 != 3);
        if (stamps.at(index).exists()) {
            QCOMPARE(stamps.at(index).size, qint64(index % 50));
            QVERIFY(stamps.at(index) == real.fileStamp(joinPath(folder(), names.at(index))));
        }
    }
    real.fileStamps(joinPath(folder(), QStringLiteral("missing")), names, &looked);
    QCOMPARE(looked.error, ENOENT);

    // A move takes its own names, whatever name the pair looked at last: an equal text held
    // elsewhere, another name, and one text as both names of a move.
    const std::unique_ptr<FolderPair> pair = real.openFolderPair(folder(), work());
    const QString first = names.at(0);
    QVERIFY(pair->stamp(FolderPair::First, first).exists());
    const QString copy(first.constData(), first.size());
    QVERIFY(pair->move(FolderPair::First, copy, FolderPair::Second, QStringLiteral("写真 1.jpg")).ok());
    QVERIFY(pair->stamp(FolderPair::First, names.at(1)).exists());
    QVERIFY(pair->move(FolderPair::First, names.at(2), FolderPair::Second, names.at(2)).ok());
    QVERIFY(pair->move(FolderPair::Second, names.at(2), FolderPair::First, names.at(2)).ok());
    QCOMPARE(readFile(joinPath(work(), QStringLiteral("写真 1.jpg"))).size(), 0);
    QCOMPARE(readFile(joinPath(folder(), names.at(2))).size(), 2);
    QVERIFY(QFile::exists(joinPath(folder(), names.at(1))));
    QVERIFY(!QFile::exists(joinPath(folder(), first)));
}

void TestTwoPhaseMove::refusedUndoStrandsWithoutLoss_data()
{
    QTest::addColumn<int>("refused");
    QTest::addColumn<int>("undoRefused");
    QTest::addColumn<QString>("strandedName");
    QTest::addColumn<QString>("strandedAt");

    // Phase 1 stops at "same"; undoing "one" (back from work/two) is refused too.
    QTest::newRow("undo of phase 1") << 3 << 4 << QStringLiteral("one") << QStringLiteral("work:two");
    // Phase 2 stops at "same" with "four x" and "one" back; sending "one" out again is refused,
    // so it sits on "two" in the folder and "two" cannot come back to its own name.
    QTest::newRow("undo of phase 2") << 8 << 9 << QStringLiteral("two") << QStringLiteral("work:three");
}

void TestTwoPhaseMove::refusedUndoStrandsWithoutLoss()
{
    QFETCH(int, refused);
    QFETCH(int, undoRefused);
    QFETCH(QString, strandedName);
    QFETCH(QString, strandedAt);
    makeFiles(folder(), RollbackNames);
    const Snapshot before = snapshot(folder());
    m_fs->refuseMove(refused);
    m_fs->refuseMove(undoRefused);

    const BatchReport report = runBatch(RollbackNames, fromTable(RollbackTable));
    QCOMPARE(report.outcome, BatchOutcome::Stranded);
    QCOMPARE(report.stranded.size(), 1);
    const StrandedFile &stranded = report.stranded.first();
    QCOMPARE(stranded.oldName, strandedName);
    const QString where = strandedAt.section(QLatin1Char(':'), 0, 0) == QLatin1String("work") ? work() : folder();
    QCOMPARE(stranded.path, joinPath(where, strandedAt.section(QLatin1Char(':'), 1)));
    // Nothing lost, nothing overwritten: the stranded file holds its own content.
    QCOMPARE(contentOf(stranded.path), before.value(strandedName));
    QCOMPARE(allContents({snapshot(folder()), snapshot(work())}), allContents({before}));
}

void TestTwoPhaseMove::refusedSweepKeepsLeftoverAndBatch()
{
    makeFiles(folder(), {QStringLiteral("a b")});
    makeFiles(work(), {QStringLiteral("left")});
    m_fs->refuseMove(3, EBUSY);
    const BatchReport report = runBatch({QStringLiteral("a b")}, removing(QLatin1Char(' ')));
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QCOMPARE(report.leftovers.size(), 1);
    QCOMPARE(report.leftovers.first().fate, LeftoverFate::MoveRefused);
    QCOMPARE(report.leftovers.first().detail, FsResult::failure(EBUSY).reason());
    QCOMPARE(snapshot(folder()).keys(), QStringList{QStringLiteral("ab")});
    QCOMPARE(snapshot(work()).keys(), QStringList{QStringLiteral("left")});
}

void TestTwoPhaseMove::stagingRouteWhenWorkFolderIsElsewhere()
{
    m_fs->setSameFilesystem(false);
    makeFiles(folder(), {QStringLiteral("a b.txt"), QStringLiteral("c d.txt")});
    const QString staging = stagingFolderOf(folder());
    QVERIFY(QDir().mkdir(staging));
    makeFiles(staging, {QStringLiteral("left.txt")});
    makeFiles(work(), {QStringLiteral("work left.txt")});

    const BatchReport report = runBatch({QStringLiteral("a b.txt"), QStringLiteral("c d.txt")}, removing(QLatin1Char(' ')));
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QVERIFY(report.staged);
    QCOMPARE(report.holdingFolder, staging);
    QCOMPARE(snapshot(folder()).keys(), (QStringList{QStringLiteral("ab.txt"), QStringLiteral("cd.txt"), QStringLiteral("left.txt")}));
    QVERIFY(!QFileInfo::exists(staging));
    // The work folder's leftover lies beyond a rename's reach and is left alone.
    QCOMPARE(snapshot(work()).keys(), QStringList{QStringLiteral("work left.txt")});
    for (const auto &move : m_fs->moves()) {
        QVERIFY2(!move.first.startsWith(work()) && !move.second.startsWith(work()), qPrintable(move.first));
        QVERIFY(move.first.startsWith(folder()) && move.second.startsWith(folder()));
    }
}

void TestTwoPhaseMove::stagingFolderStaysWhileItHoldsLeftovers()
{
    m_fs->setSameFilesystem(false);
    makeFiles(folder(), {QStringLiteral("a b.txt")});
    const QString staging = stagingFolderOf(folder());
    QVERIFY(QDir().mkdir(staging));
    makeFiles(staging, {QStringLiteral("left.jpg")});

    const BatchReport report = runBatch({QStringLiteral("a b.txt")}, removing(QLatin1Char(' ')), QStringLiteral("*.txt"));
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QCOMPARE(snapshot(staging).keys(), QStringList{QStringLiteral("left.jpg")});
    QCOMPARE(report.leftovers.size(), 1);
    QCOMPARE(report.leftovers.first().fate, LeftoverFate::NotShown);
    QCOMPARE(report.leftovers.first().from, staging);

    // A later batch on the same filesystem as the work folder still brings it home, once shown.
    m_fs->setSameFilesystem(true);
    const BatchReport later = runBatch({QStringLiteral("ab.txt")}, removing(QLatin1Char(' ')));
    QCOMPARE(later.outcome, BatchOutcome::Done);
    QVERIFY(!later.staged);
    QCOMPARE(snapshot(folder()).keys(), (QStringList{QStringLiteral("ab.txt"), QStringLiteral("left.jpg")}));
}

void TestTwoPhaseMove::stagingRollbackLeavesNoStagingFolder()
{
    m_fs->setSameFilesystem(false);
    makeFiles(folder(), RollbackNames);
    const Snapshot before = snapshot(folder());
    m_fs->refuseMove(7);
    const BatchReport report = runBatch(RollbackNames, fromTable(RollbackTable));
    QCOMPARE(report.outcome, BatchOutcome::RolledBack);
    QCOMPARE(snapshot(folder()), before);
}

void TestTwoPhaseMove::folderIsTheWorkFolder()
{
    makeFiles(work(), {QStringLiteral("a b"), QStringLiteral("ab c")});
    BatchMover batch(*m_fs, BatchPlan(*m_fs, BatchRequest{work(), {QStringLiteral("a b"), QStringLiteral("ab c")}, work(), NameFilter(),
                                           removing(QLatin1Char(' '))}));
    const BatchReport &report = batch.run();
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QVERIFY(report.staged);
    QCOMPARE(snapshot(work()).keys(), (QStringList{QStringLiteral("ab"), QStringLiteral("abc")}));
}

void TestTwoPhaseMove::missingWorkFolderIsCreated()
{
    QVERIFY(QDir(work()).removeRecursively());
    makeFiles(folder(), {QStringLiteral("a b")});
    const BatchReport report = runBatch({QStringLiteral("a b")}, removing(QLatin1Char(' ')));
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QVERIFY(!report.staged);
    QVERIFY(QFileInfo(work()).isDir());
    QCOMPARE(snapshot(folder()).keys(), QStringList{QStringLiteral("ab")});
}

void TestTwoPhaseMove::uncreatableWorkFolderRefuses()
{
    QVERIFY(QDir(work()).removeRecursively());
    makeFiles(folder(), {QStringLiteral("a b")});
    m_fs->refuseMakeFolder(EACCES);
    const BatchReport report = runBatch({QStringLiteral("a b")}, removing(QLatin1Char(' ')));
    QCOMPARE(report.outcome, BatchOutcome::Refused);
    QCOMPARE(report.problems.first().problem, BatchProblem::WorkFolderUnavailable);
    QCOMPARE(m_fs->moveCount(), 0);

    // A file where the work folder should be is no folder to move through either.
    writeWithOwnContent(work());
    FaultyFileSystem plain(m_real);
    BatchMover batch(plain, BatchPlan(plain, BatchRequest{folder(), {QStringLiteral("a b")}, work(), NameFilter(), removing(QLatin1Char(' '))}));
    QCOMPARE(batch.run().outcome, BatchOutcome::Refused);
    QCOMPARE(batch.report().problems.first().problem, BatchProblem::WorkFolderUnavailable);
    QCOMPARE(plain.moveCount(), 0);
    QCOMPARE(snapshot(folder()).keys(), QStringList{QStringLiteral("a b")});
}

void TestTwoPhaseMove::observerSeesPlanAndEveryMove()
{
    makeFiles(folder(), {QStringLiteral("a b"), QStringLiteral("c")});
    RecordingObserver observer;
    BatchMover batch(*m_fs, BatchPlan(*m_fs, BatchRequest{folder(), {QStringLiteral("a b"), QStringLiteral("c")}, work(), NameFilter(),
                                           removing(QLatin1Char(' '))}),
                       &observer);
    Snapshot whileOut;
    QCOMPARE(batch.run([&] { whileOut = snapshot(work()); }).outcome, BatchOutcome::Done);
    QCOMPARE(whileOut.keys(), (QStringList{QStringLiteral("ab"), QStringLiteral("c")}));
    const QString out = QString::number(int(BatchStep::Out));
    const QString back = QString::number(int(BatchStep::Back));
    QCOMPARE(observer.events,
             (QStringList{QStringLiteral("planned 2"), QStringLiteral("moving ") + out, QStringLiteral("moved %1 1").arg(out),
                          QStringLiteral("moving ") + out, QStringLiteral("moved %1 1").arg(out),
                          QStringLiteral("moving ") + back, QStringLiteral("moved %1 1").arg(back),
                          QStringLiteral("moving ") + back, QStringLiteral("moved %1 1").arg(back),
                          QStringLiteral("finished %1").arg(int(BatchOutcome::Done))}));
}

void TestTwoPhaseMove::observerThatCannotRecordRefusesBatch()
{
    makeFiles(folder(), {QStringLiteral("a b")});
    RecordingObserver observer;
    observer.refusePlan = FsResult::failure(ENOSPC);
    BatchMover batch(*m_fs, BatchPlan(*m_fs, BatchRequest{folder(), {QStringLiteral("a b")}, work(), NameFilter(), removing(QLatin1Char(' '))}),
                       &observer);
    QCOMPARE(batch.run().outcome, BatchOutcome::Refused);
    QCOMPARE(batch.report().problems.first().problem, BatchProblem::PlanRefused);
    QCOMPARE(m_fs->moveCount(), 0);
    QCOMPARE(snapshot(folder()).keys(), QStringList{QStringLiteral("a b")});
}

void TestTwoPhaseMove::moreFilesThanSixteenBitsCount()
{
    const int count = 33000;
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) {
        names.append(QStringLiteral("f %1").arg(i));
        QFile file(joinPath(folder(), names.last()));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const BatchReport report = runBatch(listFolderFiles(folder(), NameFilter()), removing(QLatin1Char(' ')));
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QCOMPARE(report.renamed, count);
    const QStringList after = listFolderFiles(folder(), NameFilter());
    QCOMPARE(after.size(), count);
    QCOMPARE(after.first(), QStringLiteral("f0"));
    QCOMPARE(after.last(), QStringLiteral("f%1").arg(count - 1));
}

void TestTwoPhaseMove::rerunOnTmpfs(const char *testFunction)
{
    const QString mountPoint = m_root->filePath(QStringLiteral("mnt"));
    QVERIFY(QDir().mkpath(mountPoint));
    const QString script = QStringLiteral("mount -t tmpfs tmpfs \"$1\" || exit 77; shift; MIVOT_TMPFS=\"$0\" exec \"$@\"");
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"), {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                                            mountPoint, mountPoint, QCoreApplication::applicationFilePath(),
                                            QString::fromLatin1(testFunction)});
    if (!child.waitForStarted())
        QSKIP("unshare is not installed: cannot mount a second filesystem to test on");
    child.waitForFinished(120000);
    const QByteArray output = child.readAll();
    if (child.exitCode() == 77 || output.contains("unshare failed")) {
        qInfo("%s", output.constData());
        QSKIP("this machine does not let an unprivileged mount namespace mount a tmpfs");
    }
    if (child.exitCode() != 0)
        qWarning("%s", output.constData());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

void TestTwoPhaseMove::anotherMountStagesFiles()
{
    const QString mounted = qEnvironmentVariable("MIVOT_TMPFS");
    if (mounted.isEmpty()) {
        rerunOnTmpfs("anotherMountStagesFiles");
        return;
    }
    // In the child: the renamed folder lies on the tmpfs, the work folder on the temporary folder's disk.
    LinuxFileSystem real;
    const QString files = joinPath(mounted, QStringLiteral("files"));
    QVERIFY(QDir().mkpath(files));
    QVERIFY(!real.sameFilesystem(files, work()));
    makeFiles(files, RollbackNames);
    const Snapshot before = snapshot(files);

    BatchMover batch(real, BatchPlan(real, BatchRequest{files, RollbackNames, work(), NameFilter(), fromTable(RollbackTable)}));
    const BatchReport &report = batch.run();
    QCOMPARE(report.outcome, BatchOutcome::Done);
    QVERIFY(report.staged);
    QCOMPARE(report.holdingFolder, stagingFolderOf(files));
    const Snapshot after = snapshot(files);
    QCOMPARE(after.keys(), (QStringList{QStringLiteral("fourx"), QStringLiteral("one"), QStringLiteral("same"),
                                        QStringLiteral("three"), QStringLiteral("two")}));
    QCOMPARE(after.value(QStringLiteral("two")), before.value(QStringLiteral("one")));
    QCOMPARE(after.value(QStringLiteral("one")), before.value(QStringLiteral("three")));
    QVERIFY(snapshot(work()).isEmpty());

    // A refused move there is undone just the same.
    FaultyFileSystem faulty(real);
    faulty.refuseMove(8);
    BatchMover undone(faulty, BatchPlan(faulty, BatchRequest{files, after.keys(), work(), NameFilter(), removing(QLatin1Char('o'))}));
    QCOMPARE(undone.run().outcome, BatchOutcome::RolledBack);
    QCOMPARE(snapshot(files), after);
}

void TestTwoPhaseMove::readOnlyMountRefusesWithoutChange()
{
    const QString mounted = qEnvironmentVariable("MIVOT_TMPFS");
    if (mounted.isEmpty()) {
        rerunOnTmpfs("readOnlyMountRefusesWithoutChange");
        return;
    }
    const QString files = joinPath(mounted, QStringLiteral("files"));
    const QString sameMountWork = workFolderOf(joinPath(mounted, QStringLiteral("prog")));
    QVERIFY(QDir().mkpath(files));
    QVERIFY(QDir().mkpath(sameMountWork));
    makeFiles(files, {QStringLiteral("a b"), QStringLiteral("c d")});
    QCOMPARE(QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), mounted}), 0);
    const Snapshot before = snapshot(files);
    LinuxFileSystem real;

    // Work folder on the same read-only mount: the first move is refused and nothing changes.
    BatchMover throughWork(real, BatchPlan(real, BatchRequest{files, before.keys(), sameMountWork, NameFilter(), removing(QLatin1Char(' '))}));
    const BatchReport &report = throughWork.run();
    QCOMPARE(report.outcome, BatchOutcome::RolledBack);
    QCOMPARE(report.problems.first().detail, FsResult::failure(EROFS).reason());
    QCOMPARE(snapshot(files), before);

    // Work folder elsewhere: the staging folder cannot be made, so the batch is refused outright.
    BatchMover staged(real, BatchPlan(real, BatchRequest{files, before.keys(), work(), NameFilter(), removing(QLatin1Char(' '))}));
    QCOMPARE(staged.run().outcome, BatchOutcome::Refused);
    QCOMPARE(staged.report().problems.first().problem, BatchProblem::StagingUnavailable);
    QCOMPARE(snapshot(files), before);
}

QTEST_GUILESS_MAIN(TestTwoPhaseMove)
#include "tst_twophasemove.moc"
