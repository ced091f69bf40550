#include "batch/renamehistory.h"
#include "batch/twophasemove.h"
#include "main/form1.h"
#include "main/sharedvalues.h"
#include "platform/programfolder.h"
#include "support/faultyfilesystem.h"
#include "support/scriptedmessages.h"
#include "support/testfiles.h"
#include "batch/journal.h"
#include "platform/filename.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QThread>
#include <QTemporaryDir>
#include <QCryptographicHash>
#include <QTest>

#include <memory>

namespace {

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(QFile::encodeName(QFileInfo(path).fileName()));
}

QStringList namesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

const QString SpacePrompt = QStringLiteral("リスト内の全てのファイルのスペースを除去します");
const QString UnderscorePrompt = QStringLiteral("リスト内の全てのファイルの\nアンダーバーを除去します ");

} // namespace

class TestBatchWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void cancelMovesAndRereadsNothing_data();
    void cancelMovesAndRereadsNothing();
    void okRenamesShownFiles_data();
    void okRenamesShownFiles();
    void listsVisitHoldingFolderForPhaseTwo_data();
    void listsVisitHoldingFolderForPhaseTwo();

    void collisionRefusedWithOneMessage();
    void leftoversSweptAndReported();
    void refusedMoveUndoneAndSaid();
    void progressShownOnceASlowBatchTakesTime();
    void strandedFileNamedWithWhereItIs();
    void missingWorkFolderMadeForTheBatch();
    void unusableWorkFolderRefusedWithMessage();
    void ruleRefusalOfAnotherCommandIsShown();
    void unrecordedBatchSaidAfterItsOutcome();

    void undoThenRedoThroughTheKeys();
    void undoAfterRestart();
    void undoRefusedWholeWhenOneFileChanged_data();
    void undoRefusedWholeWhenOneFileChanged();
    void nothingToTakeBackSaysSo();
    void undoGivesRawNamesTheirBytesBack();

private:
    // Presses the keys in the window, as the user would, with the focus in the given control.
    void press(QWidget *focus, Qt::Key key, Qt::KeyboardModifiers modifiers);
    // Checks every file by name and content: each holds the name it was made with.
    void verifyFiles(const QMap<QString, QString> &nameToMadeAs);
    void makeForm();
    QPushButton *button(const QString &name) const;
    QString folder() const { return m_browsed->path(); }
    QString work() const { return workFolderOf(m_programFolder->path()); }
    void fillBoxes();
    void verifyBoxesEmpty();

    std::unique_ptr<QTemporaryDir> m_programFolder;
    std::unique_ptr<QTemporaryDir> m_browsed;
    LinuxFileSystem m_real;
    std::unique_ptr<FaultyFileSystem> m_fs;
    ScriptedMessages m_messages;
    std::unique_ptr<Form1> m_form;
};

void TestBatchWindow::init()
{
    shared::reset();
    m_form.reset();
    m_messages.clear();
    m_programFolder = std::make_unique<QTemporaryDir>();
    m_browsed = std::make_unique<QTemporaryDir>();
    m_fs = std::make_unique<FaultyFileSystem>(m_real);
    // The window's batches move files through the folders they hold open, and only there.
    m_fs->forbidPathMoves();
}

void TestBatchWindow::makeForm()
{
    m_form = std::make_unique<Form1>(PlatformContext{*m_fs, m_messages, m_programFolder->path()});
    m_form->Form_Load();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QVERIFY(m_form->setDir1Path(folder()));
}

QPushButton *TestBatchWindow::button(const QString &name) const
{
    return name == QLatin1String("Command4") ? m_form->Command4 : m_form->Command5;
}

void TestBatchWindow::fillBoxes()
{
    m_form->Text1[0]->setText(QStringLiteral("typed"));
    m_form->Text1[1]->setText(QStringLiteral("ext"));
    m_form->Text2->setText(QStringLiteral("old"));
    m_form->Text3->setText(QStringLiteral("txt"));
}

void TestBatchWindow::verifyBoxesEmpty()
{
    QVERIFY(m_form->Text1[0]->text().isEmpty());
    QVERIFY(m_form->Text1[1]->text().isEmpty());
    QVERIFY(m_form->Text2->text().isEmpty());
    QVERIFY(m_form->Text3->text().isEmpty());
}

void TestBatchWindow::cancelMovesAndRereadsNothing_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("details");
    QTest::newRow("space removal") << QStringLiteral("Command4") << SpacePrompt
                                   << QStringLiteral("2 ファイル\na b_c.txt → ab_c.txt\nkeep.txt（変わりません）");
    QTest::newRow("underscore removal") << QStringLiteral("Command5") << UnderscorePrompt
                                        << QStringLiteral("2 ファイル\na b_c.txt → a bc.txt\nkeep.txt（変わりません）");
}

void TestBatchWindow::cancelMovesAndRereadsNothing()
{
    QFETCH(QString, command);
    QFETCH(QString, prompt);
    QFETCH(QString, details);
    touch(joinPath(folder(), QStringLiteral("a b_c.txt")));
    touch(joinPath(folder(), QStringLiteral("keep.txt")));
    makeForm();
    // A file that appears after the listing was read shows whether the list was read again.
    touch(joinPath(folder(), QStringLiteral("late file.txt")));
    fillBoxes();
    m_messages.answer({MsgAnswer::Cancel});

    QTest::mouseClick(button(command), Qt::LeftButton);
    QCOMPARE(m_messages.shown().size(), 1);
    const ScriptedMessages::Shown &box = m_messages.shown().first();
    QCOMPARE(box.prompt, prompt);
    QCOMPARE(box.buttons, MsgButtons::OkCancel);
    QCOMPARE(box.title, QStringLiteral("確認メッセージ"));
    QCOMPARE(box.details, details);
    QCOMPARE(m_fs->moveCount(), 0);
    QCOMPARE(namesIn(folder()), (QStringList{QStringLiteral("a b_c.txt"), QStringLiteral("keep.txt"), QStringLiteral("late file.txt")}));
    QCOMPARE(m_form->File1->entries(), (QStringList{QStringLiteral("a b_c.txt"), QStringLiteral("keep.txt")}));
    QCOMPARE(m_form->Text1[0]->text(), QStringLiteral("typed"));
    QCOMPARE(m_form->Text3->text(), QStringLiteral("txt"));
}

void TestBatchWindow::okRenamesShownFiles_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("after");

    // Full-width space and low line are other characters; the .jpg is hidden by the pattern.
    QTest::newRow("space removal") << QStringLiteral("Command4") << QStringLiteral("*.txt")
                                   << QStringList{QStringLiteral("a b.jpg"), QStringLiteral("my　file.txt"),
                                                  QStringLiteral("myfile1.txt"), QStringLiteral("my＿file.txt"),
                                                  QStringLiteral("my_file_.txt"), QStringLiteral("one_two.txt")};
    QTest::newRow("underscore removal") << QStringLiteral("Command5") << QString()
                                        << QStringList{QStringLiteral("a b.jpg"), QStringLiteral("my file 1.txt"),
                                                       QStringLiteral("my　file.txt"), QStringLiteral("myfile.txt"),
                                                       QStringLiteral("my＿file.txt"), QStringLiteral("onetwo.txt")};
}

void TestBatchWindow::okRenamesShownFiles()
{
    QFETCH(QString, command);
    QFETCH(QString, pattern);
    QFETCH(QStringList, after);
    for (const QString &name : {QStringLiteral("my file 1.txt"), QStringLiteral("my_file_.txt"), QStringLiteral("my　file.txt"),
                                QStringLiteral("my＿file.txt"), QStringLiteral("one_two.txt"), QStringLiteral("a b.jpg")})
        touch(joinPath(folder(), name));
    makeForm();
    m_form->File1->setPattern(pattern);
    fillBoxes();

    QTest::mouseClick(button(command), Qt::LeftButton);
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(namesIn(folder()), sorted(after));
    QVERIFY(namesIn(work()).isEmpty());
    QCOMPARE(m_form->Dir1->path(), folder());
    QCOMPARE(m_form->File1->path(), folder());
    QCOMPARE(m_form->File1->entries(), listFolderFiles(folder(), NameFilter(pattern)));
    verifyBoxesEmpty();
}

void TestBatchWindow::listsVisitHoldingFolderForPhaseTwo_data()
{
    QTest::addColumn<bool>("sameFilesystem");
    QTest::newRow("work folder") << true;
    QTest::newRow("staging folder") << false;
}

void TestBatchWindow::listsVisitHoldingFolderForPhaseTwo()
{
    QFETCH(bool, sameFilesystem);
    m_fs->setSameFilesystem(sameFilesystem);
    touch(joinPath(folder(), QStringLiteral("a b")));
    touch(joinPath(folder(), QStringLiteral("c d")));
    makeForm();
    QStringList visited;
    QStringList shownThere;
    connect(m_form->Dir1, &FolderList::changed, m_form.get(), [&] {
        visited.append(m_form->Dir1->path());
        shownThere.append(m_form->File1->entries().join(QLatin1Char(',')));
    });

    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    const QString holding = sameFilesystem ? work() : stagingFolderOf(folder());
    QCOMPARE(visited, (QStringList{holding, folder()}));
    // Phase 1 is over when the lists arrive: the holding folder shows the renamed files.
    QCOMPARE(shownThere.first(), QStringLiteral("ab,cd"));
    QCOMPARE(namesIn(folder()), (QStringList{QStringLiteral("ab"), QStringLiteral("cd")}));
    QCOMPARE(m_messages.shown().size(), 1);
}

void TestBatchWindow::collisionRefusedWithOneMessage()
{
    QStringList names;
    for (int i = 1; i <= 12; ++i) {
        names << QStringLiteral("p %1.txt").arg(i) << QStringLiteral("p%1.txt").arg(i);
        touch(joinPath(folder(), names.at(names.size() - 2)));
        touch(joinPath(folder(), names.last()));
    }
    makeForm();
    fillBoxes();
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);

    QCOMPARE(m_messages.shown().size(), 2);
    const QString message = m_messages.lastPrompt();
    QCOMPARE(m_messages.shown().last().buttons, MsgButtons::Ok);
    QVERIFY2(message.contains(QStringLiteral("ファイルは一つも移動していません")), qPrintable(message));
    // The later file of each pair is the one whose name is taken; ten are named, two counted.
    for (int i = 1; i <= 10; ++i)
        QVERIFY2(message.contains(QStringLiteral("・p%1.txt → p%1.txt（「p %1.txt」の新しい名前と同じになります）").arg(i)), qPrintable(message));
    QVERIFY(!message.contains(QStringLiteral("・p11.txt")));
    QVERIFY(message.endsWith(QStringLiteral("ほか 2 件")));
    QCOMPARE(m_fs->moveCount(), 0);
    QCOMPARE(namesIn(folder()), sorted(names));
    QCOMPARE(m_form->Dir1->path(), folder());
    verifyBoxesEmpty();
}

void TestBatchWindow::leftoversSweptAndReported()
{
    touch(joinPath(folder(), QStringLiteral("a b.txt")));
    makeForm();
    touch(joinPath(work(), QStringLiteral("left over.txt")));
    touch(joinPath(work(), QStringLiteral("left.jpg")));
    m_form->File1->setPattern(QStringLiteral("*.txt"));

    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    QCOMPARE(namesIn(folder()), (QStringList{QStringLiteral("ab.txt"), QStringLiteral("left over.txt")}));
    QCOMPARE(namesIn(work()), QStringList{QStringLiteral("left.jpg")});
    QCOMPARE(m_form->File1->entries(), (QStringList{QStringLiteral("ab.txt"), QStringLiteral("left over.txt")}));
    QCOMPARE(m_messages.shown().size(), 2);
    const QString message = m_messages.lastPrompt();
    QVERIFY2(message.contains(QStringLiteral("に残っていたファイルを、このフォルダへ移しました。\n・left over.txt")), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("ファイルリストに表示されないため移していません）。\n・left.jpg")), qPrintable(message));
    QVERIFY(message.contains(work()));
}

void TestBatchWindow::refusedMoveUndoneAndSaid()
{
    for (const QString &name : {QStringLiteral("a b"), QStringLiteral("c d"), QStringLiteral("e f")})
        touch(joinPath(folder(), name));
    makeForm();
    m_fs->refuseMove(5, EACCES);
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);

    QCOMPARE(namesIn(folder()), (QStringList{QStringLiteral("a b"), QStringLiteral("c d"), QStringLiteral("e f")}));
    QVERIFY(namesIn(work()).isEmpty());
    QCOMPARE(m_form->Dir1->path(), folder());
    QCOMPARE(m_form->File1->entries(), (QStringList{QStringLiteral("a b"), QStringLiteral("c d"), QStringLiteral("e f")}));
    QCOMPARE(m_messages.shown().size(), 2);
    const QString message = m_messages.lastPrompt();
    QVERIFY2(message.startsWith(QStringLiteral("「c d」を「cd」へ移動できなかったため、一括リネームを取り消しました。")), qPrintable(message));
    QVERIFY(message.contains(QLatin1Char('\n') + folder() + QLatin1Char('\n') + FsResult::failure(EACCES).reason()));
    QVERIFY(message.endsWith(QStringLiteral("全てのファイルを元の名前に戻しました。")));
}

void TestBatchWindow::progressShownOnceASlowBatchTakesTime()
{
    // Eight files on a disk that takes 0.15 s a move: not many, but slow. The window comes after
    // about half a second, follows the moves, and is gone when the batch ends.
    for (int i = 1; i <= 8; ++i)
        touch(joinPath(folder(), QStringLiteral("f %1").arg(i)));
    makeForm();
    const auto progressText = [] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->windowTitle() == QStringLiteral("一括リネーム"))
                return window->findChild<QLabel *>()->text();
        }
        return QString();
    };
    QStringList seen; // the window's text before each move
    for (int move = 1; move <= 16; ++move) {
        m_fs->beforeMove(move, [&] {
            seen.append(progressText());
            QThread::msleep(150);
        });
    }
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);

    QCOMPARE(seen.size(), 16);
    QCOMPARE(seen.first(), QString());
    QCOMPARE(seen.last(), QStringLiteral("ファイルを新しい名前で戻しています\n7 / 8 個"));
    QCOMPARE(progressText(), QString());
    QCOMPARE(namesIn(folder()).size(), 8);
}

void TestBatchWindow::strandedFileNamedWithWhereItIs()
{
    touch(joinPath(folder(), QStringLiteral("a b")));
    touch(joinPath(folder(), QStringLiteral("c d")));
    makeForm();
    // "c d" cannot go out, and "a b" cannot come back from the work folder.
    m_fs->refuseMove(2, EACCES);
    m_fs->refuseMove(3, EBUSY);
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);

    QCOMPARE(namesIn(folder()), QStringList{QStringLiteral("c d")});
    QCOMPARE(namesIn(work()), QStringList{QStringLiteral("ab")});
    QCOMPARE(m_messages.shown().size(), 2);
    const QString message = m_messages.lastPrompt();
    QVERIFY2(message.contains(QStringLiteral("削除も上書きもしていません")), qPrintable(message));
    QVERIFY2(message.endsWith(QStringLiteral("・a b は今 %1 にあります（%2）").arg(joinPath(work(), QStringLiteral("ab")),
                                                                                FsResult::failure(EBUSY).reason())),
             qPrintable(message));
}

void TestBatchWindow::missingWorkFolderMadeForTheBatch()
{
    touch(joinPath(folder(), QStringLiteral("a b")));
    makeForm();
    QVERIFY(QDir(work()).removeRecursively());
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    QCOMPARE(namesIn(folder()), QStringList{QStringLiteral("ab")});
    QVERIFY(QFileInfo(work()).isDir());
    QCOMPARE(m_messages.shown().size(), 1);
}

void TestBatchWindow::unusableWorkFolderRefusedWithMessage()
{
    touch(joinPath(folder(), QStringLiteral("a b")));
    // Something that is no folder stands where the work folder belongs.
    touch(work());
    makeForm();
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    QCOMPARE(namesIn(folder()), QStringList{QStringLiteral("a b")});
    QCOMPARE(m_fs->moveCount(), 0);
    QCOMPARE(m_messages.shown().size(), 2);
    const QString message = m_messages.lastPrompt();
    QVERIFY2(message.startsWith(QStringLiteral("作業フォルダを用意できないため、一括リネームを中止しました。")), qPrintable(message));
    QVERIFY(message.contains(work()));
}

void TestBatchWindow::ruleRefusalOfAnotherCommandIsShown()
{
    touch(joinPath(folder(), QStringLiteral("a.txt")));
    touch(joinPath(folder(), QStringLiteral("b.txt")));
    makeForm();
    m_form->runBatchMove([](int index, const QString &oldName) {
        if (index == 1)
            return NewName::refused(QStringLiteral("連番が 2147483647 を超えます"));
        return NewName::of(QStringLiteral("x") + oldName);
    });
    QCOMPARE(m_fs->moveCount(), 0);
    QCOMPARE(namesIn(folder()), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    QCOMPARE(m_messages.shown().size(), 1);
    QVERIFY2(m_messages.lastPrompt().endsWith(QStringLiteral("\n・b.txt（連番が 2147483647 を超えます）")),
             qPrintable(m_messages.lastPrompt()));
}

void TestBatchWindow::unrecordedBatchSaidAfterItsOutcome()
{
    touch(joinPath(folder(), QStringLiteral("a.txt")));
    // A file stands where the history belongs.
    writeFile(renameHistoryPathOf(m_programFolder->path()), "");
    makeForm();
    m_form->File1->setPattern(QStringLiteral("*.txt"));
    m_form->runBatchMove([](int, const QString &) { return NewName::of(QStringLiteral("a.jpg")); });
    QCOMPARE(namesIn(folder()), QStringList{QStringLiteral("a.jpg")});
    // One box: what the batch did, then why it cannot be taken back.
    QCOMPARE(m_messages.shown().size(), 1);
    const QStringList said = m_messages.lastPrompt().split(QStringLiteral("\n\n"));
    QCOMPARE(said.size(), 2);
    QVERIFY2(said.at(0).contains(QStringLiteral("表示ファイル規制（*.txt）")), qPrintable(said.at(0)));
    QVERIFY2(said.at(1).startsWith(QStringLiteral("リネームは終わりましたが、その記録を書き込めないため")), qPrintable(said.at(1)));
}

void TestBatchWindow::press(QWidget *focus, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    focus->setFocus();
    QTest::keyClick(focus, key, modifiers);
}

void TestBatchWindow::verifyFiles(const QMap<QString, QString> &nameToMadeAs)
{
    QCOMPARE(namesIn(folder()), sorted(nameToMadeAs.keys()));
    for (auto it = nameToMadeAs.cbegin(); it != nameToMadeAs.cend(); ++it)
        QCOMPARE(QString::fromUtf8(readFile(joinPath(folder(), it.key()))), it.value());
}

void TestBatchWindow::undoThenRedoThroughTheKeys()
{
    for (const QString &name : {QStringLiteral("a b.txt"), QStringLiteral("ab.txt~"), QStringLiteral("c.txt")})
        touch(joinPath(folder(), name));
    makeForm();
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    const QMap<QString, QString> renamed{{"ab.txt", "a b.txt"}, {"ab.txt~", "ab.txt~"}, {"c.txt", "c.txt"}};
    verifyFiles(renamed);
    m_messages.clear();

    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown().first().prompt, QStringLiteral("直前のリネームを元に戻します"));
    QCOMPARE(m_messages.shown().first().buttons, MsgButtons::OkCancel);
    // Only the file whose name changed goes back.
    QCOMPARE(m_messages.shown().first().details, folder() + QStringLiteral("\n1 ファイル\nab.txt → a b.txt"));
    verifyFiles({{"a b.txt", "a b.txt"}, {"ab.txt~", "ab.txt~"}, {"c.txt", "c.txt"}});
    QCOMPARE(m_form->File1->entries(), (QStringList{QStringLiteral("a b.txt"), QStringLiteral("ab.txt~"), QStringLiteral("c.txt")}));
    QVERIFY(namesIn(work()).isEmpty());
    QVERIFY(!QFile::exists(journalPathOf(m_programFolder->path())));

    // A second undo has nothing left; redo takes the rename again, and then it can be undone again.
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_messages.lastPrompt(), QStringLiteral("元に戻せるリネームはありません"));
    m_messages.clear();
    press(m_form->Command4, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown().first().prompt, QStringLiteral("元に戻したリネームをやり直します"));
    QCOMPARE(m_messages.shown().first().details, folder() + QStringLiteral("\n1 ファイル\na b.txt → ab.txt"));
    verifyFiles(renamed);
    m_messages.answer({MsgAnswer::Cancel});
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    verifyFiles(renamed);
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    verifyFiles({{"a b.txt", "a b.txt"}, {"ab.txt~", "ab.txt~"}, {"c.txt", "c.txt"}});
    press(m_form->File1, Qt::Key_Y, Qt::ControlModifier);
    verifyFiles(renamed);
}

void TestBatchWindow::undoAfterRestart()
{
    QStringList names;
    for (int i = 1; i <= 30; ++i) {
        names.append(QStringLiteral("photo %1.jpg").arg(i));
        touch(joinPath(folder(), names.last()));
    }
    makeForm();
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    QVERIFY(QFile::exists(joinPath(folder(), QStringLiteral("photo30.jpg"))));
    // The rename as 2.00 recorded it, alone: names percent-encoded, the checksum on the last line.
    const QString history = renameHistoryPathOf(m_programFolder->path());
    QByteArray older;
    for (const QByteArray &line : readFile(joinPath(history, QStringLiteral("00000001.step"))).split('\n')) {
        QList<QByteArray> fields = line.split('\t');
        if (fields.first() == "check")
            break;
        for (qsizetype i = fields.first() == "file" ? 6 : 1; fields.first() != "files" && i < fields.size(); ++i)
            fields[i] = QByteArray::fromPercentEncoding(fields.at(i)).toPercentEncoding();
        older += fields.join('\t') + '\n';
    }
    older.replace("mivot last rename 2\n", "mivot last rename 1\n");
    QVERIFY(QDir(history).removeRecursively());
    writeFile(lastRenamePathOf(m_programFolder->path()),
              older + "check\tblake2b-256:" + QCryptographicHash::hash(older, QCryptographicHash::Blake2b_256).toHex() + '\n');
    const auto prefixed = [](const QString &prefix) {
        return [prefix](int, const QString &oldName) { return NewName::of(prefix + oldName); };
    };
    m_form->runBatchMove(prefixed(QStringLiteral("x")));
    QVERIFY(QFile::exists(joinPath(folder(), QStringLiteral("xphoto30.jpg"))));
    // Closed and started again: the lists start in the program folder.
    m_form->close();
    m_form = std::make_unique<Form1>(PlatformContext{*m_fs, m_messages, m_programFolder->path()});
    m_form->Form_Load();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_messages.clear();
    QStringList visited;
    QStringList shownThere;
    connect(m_form->Dir1, &FolderList::changed, m_form.get(), [&] {
        visited.append(m_form->Dir1->path());
        shownThere.append(m_form->File1->entries().value(0));
    });

    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    // As after a batch: the lists arrive once, on the folder with its files back, and the
    // confirmation is the only box.
    QCOMPARE(visited, QStringList{folder()});
    QCOMPARE(shownThere, QStringList{QStringLiteral("photo1.jpg")});
    QCOMPARE(m_messages.shown().size(), 1);
    // Then the older step, and no further.
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QMap<QString, QString> original;
    for (const QString &name : names)
        original.insert(name, name);
    verifyFiles(original);
    QCOMPARE(m_form->Dir1->path(), folder());
    QCOMPARE(m_form->File1->listCount(), 30);
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_messages.lastPrompt(), QStringLiteral("元に戻せるリネームはありません"));

    // Forward again, the oldest first.
    press(m_form->File1, Qt::Key_Y, Qt::ControlModifier);
    QVERIFY(QFile::exists(joinPath(folder(), QStringLiteral("photo30.jpg"))));
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(QFile::exists(joinPath(folder(), QStringLiteral("xphoto30.jpg"))));
    // A new rename after an undo cuts what the undo took back.
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    m_form->runBatchMove(prefixed(QStringLiteral("y")));
    m_messages.clear();
    press(m_form->File1, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(m_messages.lastPrompt(), QStringLiteral("やり直せるリネームはありません"));
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_messages.lastPrompt(), QStringLiteral("直前のリネームを元に戻します"));
    QVERIFY2(m_messages.shown().last().details.endsWith(QStringLiteral("\nyphoto30.jpg → photo30.jpg")),
             qPrintable(m_messages.shown().last().details));
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    verifyFiles(original);
    QCOMPARE(m_messages.shown().size(), 3);
}

void TestBatchWindow::undoRefusedWholeWhenOneFileChanged_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reason");
    QTest::newRow("written to") << QStringLiteral("write") << QStringLiteral("内容が変更されています");
    QTest::newRow("replaced") << QStringLiteral("replace") << QStringLiteral("別のファイルに置き換えられています");
    QTest::newRow("renamed again") << QStringLiteral("rename") << QStringLiteral("見つかりません（移動、削除、または名前が変わっています）");
}

void TestBatchWindow::undoRefusedWholeWhenOneFileChanged()
{
    QFETCH(QString, change);
    QFETCH(QString, reason);
    for (const QString &name : {QStringLiteral("a 1.txt"), QStringLiteral("b 2.txt"), QStringLiteral("c 3.txt")})
        touch(joinPath(folder(), name));
    makeForm();
    // An older step, of another file.
    m_form->runBatchMove([](int index, const QString &oldName) {
        return NewName::of(index == 0 ? QStringLiteral("a 1.text") : oldName);
    });
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    const QString changed = joinPath(folder(), QStringLiteral("b2.txt"));
    if (change == QLatin1String("write")) {
        QFile file(changed);
        QVERIFY(file.open(QIODevice::Append));
        file.write("!");
    } else if (change == QLatin1String("replace")) {
        // Made while the old file still exists, so that it cannot get the old file's inode.
        writeFile(changed + QStringLiteral(".new"), "b 2.txt");
        QVERIFY(QFile::remove(changed));
        QVERIFY(QFile::rename(changed + QStringLiteral(".new"), changed));
    } else {
        QVERIFY(QFile::rename(changed, joinPath(folder(), QStringLiteral("other.txt"))));
    }
    const Snapshot before = snapshot(folder());
    m_messages.clear();
    const int movesBefore = m_fs->moveCount();

    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown().first().buttons, MsgButtons::Ok);
    const QString message = m_messages.lastPrompt();
    QVERIFY2(message.startsWith(QStringLiteral("次のファイルはリネームの後に変わったため、元に戻せません。ファイルは一つも移動していません。\n")
                                + folder() + QStringLiteral("\n・b2.txt（") + reason + QStringLiteral("）")),
             qPrintable(message));
    QCOMPARE(message.count(QStringLiteral("・")), 1);
    QCOMPARE(m_fs->moveCount(), movesBefore);
    QCOMPARE(snapshot(folder()), before);

    // The refused step still stands before the older one: taking that back first would give names
    // that no rename made. Once the file is back as the step left it, both go back in turn.
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_messages.lastPrompt(), message);
    QCOMPARE(snapshot(folder()), before);
    if (change == QLatin1String("rename")) {
        QVERIFY(QFile::rename(joinPath(folder(), QStringLiteral("other.txt")), changed));
        press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
        press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(namesIn(folder()), (QStringList{QStringLiteral("a 1.txt"), QStringLiteral("b 2.txt"), QStringLiteral("c 3.txt")}));
    }
}

void TestBatchWindow::nothingToTakeBackSaysSo()
{
    makeForm();
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(m_messages.shown().size(), 2);
    QCOMPARE(m_messages.shown().at(0).prompt, QStringLiteral("元に戻せるリネームはありません"));
    QCOMPARE(m_messages.shown().at(1).prompt, QStringLiteral("やり直せるリネームはありません"));
    // A record changed by hand is not acted on, and does not hold back the renames after it.
    writeFile(lastRenamePathOf(m_programFolder->path()), "mivot last rename 1\nundo\n");
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QString unreadable = m_messages.lastPrompt();
    QVERIFY2(unreadable.startsWith(QStringLiteral("直前のリネームの記録を読めないため、元に戻せません。")), qPrintable(unreadable));
    QCOMPARE(m_fs->moveCount(), 0);
    touch(joinPath(folder(), QStringLiteral("a b.txt")));
    m_form->File1->refresh();
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(namesIn(folder()), QStringList{QStringLiteral("a b.txt")});
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_messages.lastPrompt(), unreadable.replace(QStringLiteral(".xxxxxxx.last"), QStringLiteral(".xxxxxxx.history/00000000.step")));
}

void TestBatchWindow::undoGivesRawNamesTheirBytesBack()
{
    // 写真 1.jpg in CP932, and a name that is neither UTF-8 nor CP932.
    for (const QByteArray &name : {QByteArray("\x8e\xca\x90\x5e 1.jpg"), QByteArray("\xff a\xfe.txt"), QByteArray("50% off\tsale.txt")})
        writeFile(joinPath(folder(), nameFromBytes(name)), name);
    makeForm();
    m_form->File1->setPattern(QStringLiteral("*.jpg;*.txt"));
    const Snapshot before = snapshot(folder());
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    QVERIFY(m_real.exists(joinPath(folder(), nameFromBytes("\x8e\xca\x90\x5e" "1.jpg"))));
    // The filter shows every renamed file, and no message claims otherwise.
    QCOMPARE(m_form->File1->entries().size(), 3);
    QCOMPARE(m_messages.shown().size(), 1);
    m_messages.clear();

    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_messages.shown().size(), 1);
    QVERIFY2(m_messages.shown().first().details.contains(QStringLiteral("写真1.jpg → 写真 1.jpg")),
             qPrintable(m_messages.shown().first().details));
    QCOMPARE(snapshot(folder()), before);
    m_messages.clear();

    // The conversion: the CP932 name in UTF-8, the name no encoding explains left with the reason.
    QCOMPARE(m_form->File1->actions().constFirst(), m_form->convertFilesAction);
    press(m_form->File1, Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(m_messages.shown().size(), 1);
    const QString details = m_messages.shown().first().details;
    QVERIFY2(details.contains(QStringLiteral("写真 1.jpg → 写真 1.jpg")) && details.contains(QStringLiteral("\\xFF a\\xFE.txt（変わりません）"))
                 && details.contains(QStringLiteral("UTF-8 でも CP932 でもなく")),
             qPrintable(details));
    QVERIFY(m_real.exists(joinPath(folder(), QStringLiteral("写真 1.jpg"))));
    QCOMPARE(snapshot(folder()).size(), 3);
    // Nothing left to convert: said, and nothing moves.
    const int moves = m_fs->moveCount();
    press(m_form->File1, Qt::Key_U, Qt::ControlModifier);
    QVERIFY2(m_messages.lastPrompt().startsWith(QStringLiteral("UTF-8 に変換する CP932 の名前は、ファイルリストにありません。")),
             qPrintable(m_messages.lastPrompt()));
    QCOMPARE(m_fs->moveCount(), moves);
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(snapshot(folder()), before);

    // The folder list's menu converts the chosen folder's own name, in one move, as a single rename.
    m_fs->forbidPathMoves(false);
    const QString cp932Folder = joinPath(folder(), nameFromBytes("\x8e\xca\x90\x5e"));
    QVERIFY(m_real.makeFolder(cp932Folder).ok());
    QVERIFY(m_form->setDir1Path(cp932Folder));
    m_messages.clear();
    m_form->Dir1->setCurrentRow(m_form->Dir1->count() - 1);
    QCOMPARE(m_form->Dir1->actions().constFirst(), m_form->convertFolderAction);
    // The new name is judged by the filesystem's rules, its length in the units that filesystem
    // counts: 写真 is 6 bytes in UTF-8 but 2 UTF-16 units, and refused only for its characters there.
    m_fs->setMaxNameLength(5);
    for (const bool utf16Length : {false, true}) {
        NameRules rules;
        rules.asciiOnly = true;
        rules.utf16Length = utf16Length;
        m_fs->setNameRules(rules);
        m_form->convertFolderAction->trigger();
    }
    QCOMPARE(m_messages.shown().size(), 2);
    QVERIFY2(m_messages.shown().at(0).prompt.startsWith(QStringLiteral("UTF-8 では名前が長すぎます（6 バイト、このフォルダでは 5 バイトまで）")),
             qPrintable(m_messages.shown().at(0).prompt));
    QVERIFY2(m_messages.shown().at(1).prompt.startsWith(QStringLiteral("「写」はこのフォルダのファイルシステムでは名前に使えません。")),
             qPrintable(m_messages.shown().at(1).prompt));
    m_fs->setMaxNameLength(255);
    m_fs->setNameRules(NameRules());
    m_messages.clear();
    m_form->convertFolderAction->trigger();
    QCOMPARE(m_messages.shown().size(), 1);
    QVERIFY(m_real.exists(joinPath(folder(), QStringLiteral("写真"))));
    QVERIFY(!m_real.exists(cp932Folder));
    QCOMPARE(m_form->Dir1->path(), joinPath(folder(), QStringLiteral("写真")));
    // Ctrl+Z gives the folder its CP932 bytes back, after asking, and the lists follow it.
    m_messages.clear();
    press(m_form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_messages.shown().size(), 1);
    QVERIFY2(m_messages.shown().first().details.endsWith(QStringLiteral("フォルダ名\n写真 → 写真")), qPrintable(m_messages.shown().first().details));
    QVERIFY(m_real.exists(cp932Folder));
    QCOMPARE(m_form->Dir1->path(), cp932Folder);
    clearFolder(folder());
}

QTEST_MAIN(TestBatchWindow)
#include "tst_batchwindow.moc"
