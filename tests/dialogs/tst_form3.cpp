#include "dialogs/form3.h"
#include "main/form1.h"
#include "main/sharedvalues.h"
#include "main/startup.h"
#include "support/scriptedmessages.h"

#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString emptyPrompt = QStringLiteral("拡張子が設定されてないですがいいですか？");
}

class TestForm3 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void layoutAndFreshText();
    void placedOnMainWindowCentre();
    void startStoresAsTyped_data();
    void startStoresAsTyped();
    void emptyTextConfirmedStoresEmpty();
    void emptyTextDeclinedKeepsDialogOpen();
    void cancelStoresMarker();
    void titleBarCloseActsAsCancel();
    void escapeActsAsCancel();
    void enterPressesOnlyAFocusedButton();
    void startTooltipFollowsTyping();

private:
    void openDialog();

    QWidget *m_main = nullptr;
    Form3 *m_dialog = nullptr;
    ScriptedMessages m_messages;
};

void TestForm3::initTestCase()
{
    applyApplicationLook();
}

void TestForm3::init()
{
    shared::reset();
    m_messages.clear();
}

void TestForm3::openDialog()
{
    delete m_dialog;
    delete m_main;
    m_main = new QWidget;
    m_main->setGeometry(120, 60, 568, 420);
    m_main->show();
    m_dialog = new Form3(m_messages, m_main);
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
}

void TestForm3::layoutAndFreshText()
{
    openDialog();
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("統一拡張子設定"));
    QCOMPARE(m_dialog->size(), QSize(199, 149));
    QCOMPARE(m_dialog->minimumSize(), m_dialog->maximumSize());
    QCOMPARE(m_dialog->Label1->text(), QStringLiteral("拡張子を入力してください"));
    QCOMPARE(m_dialog->Label1->pos(), QPoint(32, 32));
    // The label sizes itself to its caption: nothing of it is cut.
    QVERIFY(m_dialog->Label1->width() >= m_dialog->Label1->sizeHint().width());
    QCOMPARE(m_dialog->Text1->geometry(), QRect(40, 56, 105, 25));
    QCOMPARE(m_dialog->Command1->text(), QStringLiteral("スタート"));
    QCOMPARE(m_dialog->Command2->text(), QStringLiteral("キャンセル"));
    QVERIFY(m_dialog->Text1->text().isEmpty());
    QTRY_COMPARE(QApplication::focusWidget(), m_dialog->Text1);

    QTest::keyClicks(m_dialog->Text1, QStringLiteral("png"));
    QTest::mouseClick(m_dialog->Command1, Qt::LeftButton);
    openDialog();
    QVERIFY(m_dialog->Text1->text().isEmpty());
}

void TestForm3::placedOnMainWindowCentre()
{
    openDialog();
    const QRect frame = m_main->frameGeometry();
    QCOMPARE(m_dialog->frameGeometry().topLeft(),
             QPoint(frame.left() + frame.width() / 2, frame.top() + frame.height() / 2));
}

void TestForm3::startStoresAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("plain") << "txt";
    QTest::newRow("case kept") << "JPG";
    QTest::newRow("leading dot kept") << ".jpg";
    QTest::newRow("spaces kept") << " t x ";
    QTest::newRow("cancel marker typed") << "...";
}

void TestForm3::startStoresAsTyped()
{
    QFETCH(QString, typed);
    openDialog();
    QTest::keyClicks(m_dialog->Text1, typed);
    QTest::mouseClick(m_dialog->Command1, Qt::LeftButton);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(shared::UnifiedExtension, typed);
    QVERIFY(m_messages.shown().isEmpty());
}

void TestForm3::emptyTextConfirmedStoresEmpty()
{
    shared::UnifiedExtension = QStringLiteral("...");
    openDialog();
    m_messages.answer({MsgAnswer::Ok});
    QTest::mouseClick(m_dialog->Command1, Qt::LeftButton);

    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown()[0].prompt, emptyPrompt);
    QCOMPARE(m_messages.shown()[0].title, QStringLiteral("確認"));
    QCOMPARE(m_messages.shown()[0].buttons, MsgButtons::OkCancel);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(shared::UnifiedExtension, QString());
}

void TestForm3::emptyTextDeclinedKeepsDialogOpen()
{
    shared::UnifiedExtension = QStringLiteral("gif");
    openDialog();
    m_messages.answer({MsgAnswer::Cancel});
    QTest::mouseClick(m_dialog->Command1, Qt::LeftButton);
    QCOMPARE(m_messages.shown().size(), 1);
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(shared::UnifiedExtension, QStringLiteral("gif"));

    // Back in the dialog, the user types an extension after all.
    QTest::keyClicks(m_dialog->Text1, QStringLiteral("png"));
    QTest::mouseClick(m_dialog->Command1, Qt::LeftButton);
    QCOMPARE(m_messages.shown().size(), 1);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(shared::UnifiedExtension, QStringLiteral("png"));
}

void TestForm3::cancelStoresMarker()
{
    openDialog();
    QTest::keyClicks(m_dialog->Text1, QStringLiteral("png"));
    QTest::mouseClick(m_dialog->Command2, Qt::LeftButton);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(shared::UnifiedExtension, QStringLiteral("..."));
    QVERIFY(m_messages.shown().isEmpty());
}

void TestForm3::titleBarCloseActsAsCancel()
{
    // At program start the extension is empty, which would strip every extension if kept.
    openDialog();
    QVERIFY(m_dialog->close());
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(shared::UnifiedExtension, QStringLiteral("..."));
    QVERIFY(m_messages.shown().isEmpty());
}

void TestForm3::escapeActsAsCancel()
{
    shared::UnifiedExtension = QStringLiteral("txt");
    openDialog();
    QTest::keyClicks(m_dialog->Text1, QStringLiteral("png"));
    QTest::keyClick(m_dialog->Text1, Qt::Key_Escape);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(shared::UnifiedExtension, QStringLiteral("..."));
}

void TestForm3::enterPressesOnlyAFocusedButton()
{
    openDialog();
    QTest::keyClicks(m_dialog->Text1, QStringLiteral("png"));
    QTest::keyClick(m_dialog->Text1, Qt::Key_Return);
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(shared::UnifiedExtension, QString());
    m_dialog->Command2->setFocus();
    QTest::keyClick(m_dialog->Command2, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(shared::UnifiedExtension, shared::UnifiedExtensionCancelled);
    QVERIFY(m_messages.shown().isEmpty());
}

void TestForm3::startTooltipFollowsTyping()
{
    QTemporaryDir programFolder;
    QTemporaryDir browsed;
    for (const char *name : {"a.jpg", "a.jpeg", "README", "d.JPG"})
        QVERIFY(QFile(browsed.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly));
    LinuxFileSystem fileSystem;
    Form1 form(PlatformContext{fileSystem, m_messages, programFolder.path()});
    QVERIFY(form.setDir1Path(browsed.path()));
    Form3 dialog(m_messages, &form);
    dialog.setNamesPreview([&](const NameRule &rule) { return form.startTooltip(rule); });
    const auto shown = [&] {
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), dialog.Command1->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(dialog.Command1, &help);
        return dialog.Command1->toolTip();
    };
    QCOMPARE(shown(), QStringLiteral("a, × a（「a.jpeg」の新しい名前と同じになります）, d, README（4 ファイル、1 件の問題があるため中止されます）"));
    QTest::keyClicks(dialog.Text1, QStringLiteral("txt"));
    QCOMPARE(shown(), QStringLiteral("a.txt, × a.txt（「a.jpeg」の新しい名前と同じになります）, d.txt, README.txt（4 ファイル、1 件の問題があるため中止されます）"));
    // "..." is Cancel in disguise: it renames nothing.
    dialog.Text1->setText(QStringLiteral("..."));
    QCOMPARE(shown(), QStringLiteral("（4 ファイル）"));
}

QTEST_MAIN(TestForm3)
#include "tst_form3.moc"
