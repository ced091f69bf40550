#include "dialogs/form2.h"
#include "dialogs/form3.h"
#include "main/form1.h"
#include "main/sharedvalues.h"
#include "main/startup.h"
#include "support/scriptedmessages.h"

#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

const QString serialPrompt = QStringLiteral("リスト内の全てのファイルの名を連番にて処理します");
const QString unifyPrompt = QStringLiteral("リスト内の全てのファイルの拡張子を統一変換します");

// Each file holds its first name, so that a test can tell where every file went.
void makeFiles(const QString &folder, const QStringList &names)
{
    for (const QString &name : names) {
        QFile file(QDir(folder).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(name.toUtf8());
    }
}

QStringList namesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    names.sort();
    return names;
}

QString contentOf(const QString &folder, const QString &name)
{
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}

} // namespace

class TestSerialCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void serialNumbersFollowTheList();
    void serialRenumbersExistingSerials();
    void serialNegativeStartWarnsThenNumbers();
    void serialEmptyHeadAsksAgainThenRuns();
    void serialConfirmationCancelledShowsNoDialog();
    void serialCancelMovesNothingAndSweepsNothing();
    void serialTitleBarCloseAfterEarlierRunChangesNothing();
    void serialEscapeChangesNothing();
    void serialDialogFreshEachOpening();
    void serialPastInt32MaxMovesNothing();

    void unifyGivesEveryFileTheExtension();
    void unifyEmptyExtensionConfirmedDropsExtensions();
    void unifyTypedDotDoubles();
    void unifyTitleBarCloseAtFirstUseChangesNothing();
    void unifyCancelAndMarkerChangeNothing();
    void unifyCollisionMovesNothing();
    void unifyBringsBackFilesTheFilterHides();

private:
    // Runs `drive` on the modal dialog that the next click opens; a dialog it leaves open is
    // cancelled, so that a faulty command cannot hang the test.
    void driveNextDialog(std::function<void(QDialog *)> drive);
    void runSerial(const QString &head, const QString &number);
    void runUnify(const QString &extension);
    void assertUntouched(const QStringList &names);

    std::unique_ptr<QTemporaryDir> m_programFolder;
    std::unique_ptr<QTemporaryDir> m_browsed;
    LinuxFileSystem m_fileSystem;
    ScriptedMessages m_messages;
    std::unique_ptr<Form1> m_form;
    QString m_folder;
    bool m_sawDialog = false;
    bool m_leftOpen = false;
    QString m_startTooltip;
};

void TestSerialCommands::initTestCase()
{
    applyApplicationLook();
}

void TestSerialCommands::init()
{
    shared::reset();
    m_messages.clear();
    m_sawDialog = false;
    m_leftOpen = false;
    m_programFolder = std::make_unique<QTemporaryDir>();
    m_browsed = std::make_unique<QTemporaryDir>();
    m_folder = m_browsed->path();
    m_form = std::make_unique<Form1>(PlatformContext{m_fileSystem, m_messages, m_programFolder->path()});
    m_form->Form_Load();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestSerialCommands::cleanup()
{
    m_form.reset();
}

void TestSerialCommands::driveNextDialog(std::function<void(QDialog *)> drive)
{
    QTimer::singleShot(0, this, [this, drive] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        m_sawDialog = true;
        drive(dialog);
        if (dialog->isVisible()) {
            m_leftOpen = true;
            dialog->reject();
        }
    });
}

void TestSerialCommands::runSerial(const QString &head, const QString &number)
{
    driveNextDialog([this, head, number](QDialog *dialog) {
        auto *form2 = qobject_cast<Form2 *>(dialog);
        QVERIFY(form2);
        form2->Text1->setText(head);
        form2->Text2->setText(number);
        // The tooltip is made when it is about to show.
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), form2->cmdStart->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(form2->cmdStart, &help);
        m_startTooltip = form2->cmdStart->toolTip();
        QTest::mouseClick(form2->cmdStart, Qt::LeftButton);
    });
    QTest::mouseClick(m_form->Command6, Qt::LeftButton);
    QVERIFY(m_sawDialog);
    QVERIFY(!m_leftOpen);
}

void TestSerialCommands::runUnify(const QString &extension)
{
    driveNextDialog([extension](QDialog *dialog) {
        auto *form3 = qobject_cast<Form3 *>(dialog);
        QVERIFY(form3);
        QTest::keyClicks(form3->Text1, extension);
        QTest::mouseClick(form3->Command1, Qt::LeftButton);
    });
    QTest::mouseClick(m_form->Command7, Qt::LeftButton);
    QVERIFY(m_sawDialog);
    QVERIFY(!m_leftOpen);
}

void TestSerialCommands::assertUntouched(const QStringList &names)
{
    QStringList sorted = names;
    sorted.sort();
    QCOMPARE(namesIn(m_folder), sorted);
    for (const QString &name : names)
        QCOMPARE(contentOf(m_folder, name), name);
    QCOMPARE(namesIn(m_form->workFolder()), QStringList());
}

void TestSerialCommands::serialNumbersFollowTheList()
{
    makeFiles(m_folder, {QStringLiteral("IMG_10.jpg"), QStringLiteral("IMG_2.JPG"), QStringLiteral("img_1.jpg"),
                         QStringLiteral("archive.tar.gz"), QStringLiteral("README"), QStringLiteral(".hidden")});
    QVERIFY(m_form->setDir1Path(m_folder));
    // The list's own order: natural, case-insensitive.
    QCOMPARE(m_form->File1->entries(),
             QStringList({"archive.tar.gz", "img_1.jpg", "IMG_2.JPG", "IMG_10.jpg", "README"}));

    runSerial(QStringLiteral("Re"), QStringLiteral("1"));

    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown()[0].prompt, serialPrompt);
    QCOMPARE(m_messages.shown()[0].title, QStringLiteral("確認メッセージ"));
    QCOMPARE(m_messages.shown()[0].buttons, MsgButtons::OkCancel);
    QCOMPARE(m_messages.shown()[0].details, QStringLiteral("5 ファイル\narchive.tar.gz\nimg_1.jpg\nIMG_2.JPG\nIMG_10.jpg\nREADME"));
    QCOMPARE(m_startTooltip, QStringLiteral("Re1.gz, Re2.jpg, Re3.JPG … Re5（5 ファイル）"));

    QCOMPARE(namesIn(m_folder), QStringList({".hidden", "Re1.gz", "Re2.jpg", "Re3.JPG", "Re4.jpg", "Re5"}));
    QCOMPARE(contentOf(m_folder, "Re1.gz"), QStringLiteral("archive.tar.gz"));
    QCOMPARE(contentOf(m_folder, "Re2.jpg"), QStringLiteral("img_1.jpg"));
    QCOMPARE(contentOf(m_folder, "Re3.JPG"), QStringLiteral("IMG_2.JPG"));
    QCOMPARE(contentOf(m_folder, "Re4.jpg"), QStringLiteral("IMG_10.jpg"));
    QCOMPARE(contentOf(m_folder, "Re5"), QStringLiteral("README"));
    QCOMPARE(namesIn(m_form->workFolder()), QStringList());
    QCOMPARE(m_form->Dir1->path(), m_folder);
    QCOMPARE(m_form->File1->entries(), QStringList({"Re1.gz", "Re2.jpg", "Re3.JPG", "Re4.jpg", "Re5"}));
}

void TestSerialCommands::serialRenumbersExistingSerials()
{
    makeFiles(m_folder, {QStringLiteral("Re1.jpg"), QStringLiteral("Re2.jpg")});
    QVERIFY(m_form->setDir1Path(m_folder));
    runSerial(QStringLiteral("Re"), QStringLiteral("2"));

    QCOMPARE(namesIn(m_folder), QStringList({"Re2.jpg", "Re3.jpg"}));
    QCOMPARE(contentOf(m_folder, "Re2.jpg"), QStringLiteral("Re1.jpg"));
    QCOMPARE(contentOf(m_folder, "Re3.jpg"), QStringLiteral("Re2.jpg"));
    QCOMPARE(m_messages.shown().size(), 1);

    // Leading zeros give every number their width, in the dialog's tooltip as in the batch.
    runSerial(QStringLiteral("Re"), QStringLiteral("001"));
    QCOMPARE(m_startTooltip, QStringLiteral("Re001.jpg, Re002.jpg（2 ファイル）"));
    QCOMPARE(namesIn(m_folder), QStringList({"Re001.jpg", "Re002.jpg"}));
}

void TestSerialCommands::serialNegativeStartWarnsThenNumbers()
{
    makeFiles(m_folder, {QStringLiteral("b.jpg"), QStringLiteral("c.png"), QStringLiteral("d.txt")});
    QVERIFY(m_form->setDir1Path(m_folder));
    runSerial(QStringLiteral("Re"), QStringLiteral("－１"));

    QCOMPARE(m_messages.shown().size(), 2);
    QCOMPARE(m_messages.shown()[1].prompt, QStringLiteral("値がわるいの"));
    QCOMPARE(m_messages.shown()[1].title, QStringLiteral("イエローカード"));
    QCOMPARE(namesIn(m_folder), QStringList({"Re-1.jpg", "Re0.png", "Re1.txt"}));
    QCOMPARE(contentOf(m_folder, "Re0.png"), QStringLiteral("c.png"));
}

void TestSerialCommands::serialEmptyHeadAsksAgainThenRuns()
{
    makeFiles(m_folder, {QStringLiteral("a.txt")});
    QVERIFY(m_form->setDir1Path(m_folder));
    bool stayedOpen = false;
    driveNextDialog([&stayedOpen](QDialog *dialog) {
        auto *form2 = qobject_cast<Form2 *>(dialog);
        QVERIFY(form2);
        form2->Text1->clear();
        QTest::mouseClick(form2->cmdStart, Qt::LeftButton);
        stayedOpen = form2->isVisible();
        form2->Text1->setText(QStringLiteral("写真"));
        QTest::mouseClick(form2->cmdStart, Qt::LeftButton);
    });
    QTest::mouseClick(m_form->Command6, Qt::LeftButton);
    QVERIFY(m_sawDialog);
    QVERIFY(stayedOpen);
    QVERIFY(!m_leftOpen);

    QCOMPARE(m_messages.shown().size(), 2);
    QCOMPARE(m_messages.shown()[1].title, QStringLiteral("注意書き（減点1）"));
    QCOMPARE(namesIn(m_folder), QStringList({QStringLiteral("写真1.txt")}));
}

void TestSerialCommands::serialConfirmationCancelledShowsNoDialog()
{
    makeFiles(m_folder, {QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    QVERIFY(m_form->setDir1Path(m_folder));
    m_messages.answer({MsgAnswer::Cancel});
    driveNextDialog([](QDialog *dialog) { dialog->reject(); });
    QTest::mouseClick(m_form->Command6, Qt::LeftButton);
    QCoreApplication::processEvents();

    QVERIFY(!m_sawDialog);
    QCOMPARE(m_messages.shown().size(), 1);
    assertUntouched({QStringLiteral("a.txt"), QStringLiteral("b.txt")});
}

void TestSerialCommands::serialCancelMovesNothingAndSweepsNothing()
{
    makeFiles(m_folder, {QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    // A file that an interrupted batch left behind stays where it is.
    makeFiles(m_form->workFolder(), {QStringLiteral("left.txt")});
    QVERIFY(m_form->setDir1Path(m_folder));
    shared::SerialPrefix = QStringLiteral("Re");

    driveNextDialog([](QDialog *dialog) {
        auto *form2 = qobject_cast<Form2 *>(dialog);
        QVERIFY(form2);
        QTest::mouseClick(form2->CmdCancel, Qt::LeftButton);
    });
    QTest::mouseClick(m_form->Command6, Qt::LeftButton);
    QVERIFY(m_sawDialog);

    QCOMPARE(namesIn(m_folder), QStringList({"a.txt", "b.txt"}));
    QCOMPARE(namesIn(m_form->workFolder()), QStringList({"left.txt"}));
    QCOMPARE(m_messages.shown().size(), 1);
}

void TestSerialCommands::serialTitleBarCloseAfterEarlierRunChangesNothing()
{
    makeFiles(m_folder, {QStringLiteral("a.txt")});
    QVERIFY(m_form->setDir1Path(m_folder));
    runSerial(QStringLiteral("Re"), QStringLiteral("1"));
    QCOMPARE(namesIn(m_folder), QStringList({"Re1.txt"}));

    makeFiles(m_folder, {QStringLiteral("b.txt")});
    m_form->File1->refresh();
    m_sawDialog = false;
    driveNextDialog([](QDialog *dialog) { QVERIFY(dialog->close()); });
    QTest::mouseClick(m_form->Command6, Qt::LeftButton);
    QVERIFY(m_sawDialog);
    QVERIFY(!m_leftOpen);

    // Without the close acting as Cancel, the earlier "Re" from 1 would run again.
    QCOMPARE(namesIn(m_folder), QStringList({"Re1.txt", "b.txt"}));
    QCOMPARE(contentOf(m_folder, "Re1.txt"), QStringLiteral("a.txt"));
    QCOMPARE(contentOf(m_folder, "b.txt"), QStringLiteral("b.txt"));
    QCOMPARE(m_messages.shown().size(), 2);
}

void TestSerialCommands::serialEscapeChangesNothing()
{
    makeFiles(m_folder, {QStringLiteral("a.txt")});
    QVERIFY(m_form->setDir1Path(m_folder));
    shared::SerialPrefix = QStringLiteral("Re");
    shared::SerialStart = 1;
    driveNextDialog([](QDialog *dialog) {
        auto *form2 = qobject_cast<Form2 *>(dialog);
        QVERIFY(form2);
        QTest::keyClick(form2->Text1, Qt::Key_Escape);
    });
    QTest::mouseClick(m_form->Command6, Qt::LeftButton);
    QVERIFY(m_sawDialog);
    QVERIFY(!m_leftOpen);
    assertUntouched({QStringLiteral("a.txt")});
}

void TestSerialCommands::serialDialogFreshEachOpening()
{
    QVERIFY(m_form->setDir1Path(m_folder));
    driveNextDialog([](QDialog *dialog) {
        auto *form2 = qobject_cast<Form2 *>(dialog);
        QVERIFY(form2);
        form2->Text1->setText(QStringLiteral("Ab"));
        form2->Text2->setText(QStringLiteral("9"));
        QTest::mouseClick(form2->CmdCancel, Qt::LeftButton);
    });
    QTest::mouseClick(m_form->Command6, Qt::LeftButton);
    QVERIFY(m_sawDialog);

    QString head;
    QString number;
    QPoint corner;
    QRect mainFrame;
    m_sawDialog = false;
    driveNextDialog([&](QDialog *dialog) {
        auto *form2 = qobject_cast<Form2 *>(dialog);
        QVERIFY(form2);
        head = form2->Text1->text();
        number = form2->Text2->text();
        corner = form2->frameGeometry().topLeft();
        // The main window may still be re-centred once its frame arrives: compare with where it
        // stood when the dialog opened.
        mainFrame = m_form->frameGeometry();
        QTest::mouseClick(form2->CmdCancel, Qt::LeftButton);
    });
    QTest::mouseClick(m_form->Command6, Qt::LeftButton);
    QVERIFY(m_sawDialog);
    QCOMPARE(head, QStringLiteral("Re"));
    QCOMPARE(number, QStringLiteral("1"));
    QCOMPARE(corner, QPoint(mainFrame.left() + mainFrame.width() / 2, mainFrame.top() + mainFrame.height() / 2));
}

void TestSerialCommands::serialPastInt32MaxMovesNothing()
{
    makeFiles(m_folder, {QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")});
    QVERIFY(m_form->setDir1Path(m_folder));
    runSerial(QStringLiteral("Re"), QStringLiteral("2147483646"));

    QCOMPARE(m_messages.shown().size(), 2);
    QVERIFY(m_messages.shown()[1].prompt.contains(QStringLiteral("c.txt")));
    QVERIFY(m_messages.shown()[1].prompt.contains(QStringLiteral("2147483648")));
    assertUntouched({QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")});
}

void TestSerialCommands::unifyGivesEveryFileTheExtension()
{
    makeFiles(m_folder, {QStringLiteral("a.jpg"), QStringLiteral("b.c.png"), QStringLiteral("README"),
                         QStringLiteral("d.JPG")});
    QVERIFY(m_form->setDir1Path(m_folder));
    runUnify(QStringLiteral("txt"));

    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown()[0].prompt, unifyPrompt);
    QCOMPARE(m_messages.shown()[0].title, QStringLiteral("確認メッセージ"));
    QCOMPARE(namesIn(m_folder), QStringList({"README.txt", "a.txt", "b.c.txt", "d.txt"}));
    QCOMPARE(contentOf(m_folder, "b.c.txt"), QStringLiteral("b.c.png"));
    QCOMPARE(contentOf(m_folder, "README.txt"), QStringLiteral("README"));
    QCOMPARE(namesIn(m_form->workFolder()), QStringList());
    QCOMPARE(m_form->File1->listCount(), 4);
}

void TestSerialCommands::unifyEmptyExtensionConfirmedDropsExtensions()
{
    makeFiles(m_folder, {QStringLiteral("a.jpg"), QStringLiteral("b.png")});
    QVERIFY(m_form->setDir1Path(m_folder));
    runUnify(QString());

    QCOMPARE(m_messages.shown().size(), 2);
    QCOMPARE(m_messages.shown()[1].prompt, QStringLiteral("拡張子が設定されてないですがいいですか？"));
    QCOMPARE(m_messages.shown()[1].title, QStringLiteral("確認"));
    QCOMPARE(namesIn(m_folder), QStringList({"a", "b"}));
    QCOMPARE(contentOf(m_folder, "a"), QStringLiteral("a.jpg"));
}

void TestSerialCommands::unifyTypedDotDoubles()
{
    makeFiles(m_folder, {QStringLiteral("a.jpg")});
    QVERIFY(m_form->setDir1Path(m_folder));
    runUnify(QStringLiteral(".txt"));
    QCOMPARE(namesIn(m_folder), QStringList({"a..txt"}));
}

void TestSerialCommands::unifyTitleBarCloseAtFirstUseChangesNothing()
{
    makeFiles(m_folder, {QStringLiteral("a.jpg"), QStringLiteral("b.png")});
    QVERIFY(m_form->setDir1Path(m_folder));
    // At the first use the extension is still empty: a close that kept it would strip both.
    driveNextDialog([](QDialog *dialog) { QVERIFY(dialog->close()); });
    QTest::mouseClick(m_form->Command7, Qt::LeftButton);
    QVERIFY(m_sawDialog);
    QVERIFY(!m_leftOpen);
    assertUntouched({QStringLiteral("a.jpg"), QStringLiteral("b.png")});
    QCOMPARE(m_messages.shown().size(), 1);
}

void TestSerialCommands::unifyCancelAndMarkerChangeNothing()
{
    makeFiles(m_folder, {QStringLiteral("a.jpg")});
    makeFiles(m_form->workFolder(), {QStringLiteral("left.jpg")});
    QVERIFY(m_form->setDir1Path(m_folder));

    driveNextDialog([](QDialog *dialog) {
        auto *form3 = qobject_cast<Form3 *>(dialog);
        QVERIFY(form3);
        QTest::keyClicks(form3->Text1, QStringLiteral("png"));
        QTest::keyClick(form3->Text1, Qt::Key_Escape);
    });
    QTest::mouseClick(m_form->Command7, Qt::LeftButton);
    QVERIFY(m_sawDialog);

    m_sawDialog = false;
    driveNextDialog([](QDialog *dialog) {
        auto *form3 = qobject_cast<Form3 *>(dialog);
        QVERIFY(form3);
        QTest::mouseClick(form3->Command2, Qt::LeftButton);
    });
    QTest::mouseClick(m_form->Command7, Qt::LeftButton);
    QVERIFY(m_sawDialog);

    // "..." typed reads as Cancel.
    runUnify(QStringLiteral("..."));

    QCOMPARE(namesIn(m_folder), QStringList({"a.jpg"}));
    QCOMPARE(namesIn(m_form->workFolder()), QStringList({"left.jpg"}));
    QCOMPARE(m_messages.shown().size(), 3);
}

void TestSerialCommands::unifyCollisionMovesNothing()
{
    makeFiles(m_folder, {QStringLiteral("a.jpg"), QStringLiteral("a.txt"), QStringLiteral("b.gif")});
    QVERIFY(m_form->setDir1Path(m_folder));
    runUnify(QStringLiteral("png"));

    QCOMPARE(m_messages.shown().size(), 2);
    QVERIFY(m_messages.shown()[1].prompt.contains(QStringLiteral("a.png")));
    assertUntouched({QStringLiteral("a.jpg"), QStringLiteral("a.txt"), QStringLiteral("b.gif")});
}

void TestSerialCommands::unifyBringsBackFilesTheFilterHides()
{
    makeFiles(m_folder, {QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.txt")});
    QVERIFY(m_form->setDir1Path(m_folder));
    m_form->File1->setPattern(QStringLiteral("*.jpg"));
    QCOMPARE(m_form->File1->listCount(), 2);
    runUnify(QStringLiteral("png"));

    QCOMPARE(namesIn(m_folder), QStringList({"a.png", "b.png", "c.txt"}));
    QCOMPARE(namesIn(m_form->workFolder()), QStringList());
    // The list shows what the filter admits.
    QCOMPARE(m_form->File1->listCount(), 0);
}

QTEST_MAIN(TestSerialCommands)
#include "tst_serialcommands.moc"
