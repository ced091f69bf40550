#include "dialogs/form2.h"
#include "dialogs/startnumber.h"
#include "main/form1.h"
#include "main/sharedvalues.h"
#include "main/startup.h"
#include "support/scriptedmessages.h"

#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

#include <limits>

namespace {
const QString badValue = QStringLiteral("値がわるいの");
const QString cautionTitle = QStringLiteral("注意書き（減点1）");
const QString yellowCardTitle = QStringLiteral("イエローカード");
}

class TestForm2 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void startNumber_data();
    void startNumber();

    void layoutAndFreshTexts();
    void placedOnMainWindowCentre();
    void labelReadsAsTwoLines();
    void startStoresHeadAndNumber_data();
    void startStoresHeadAndNumber();
    void emptyHeadKeepsDialogOpen_data();
    void emptyHeadKeepsDialogOpen();
    void badNumberKeepsDialogOpen_data();
    void badNumberKeepsDialogOpen();
    void cancelEmptiesHeadKeepsNumber();
    void titleBarCloseActsAsCancel();
    void escapeActsAsCancel();
    void enterPressesOnlyAFocusedButton();
    void startTooltipFollowsTyping();

private:
    void openDialog();

    QWidget *m_main = nullptr;
    Form2 *m_dialog = nullptr;
    ScriptedMessages m_messages;
};

void TestForm2::initTestCase()
{
    // The program's own font: the label must wrap and fit in it.
    applyApplicationLook();
}

void TestForm2::init()
{
    shared::reset();
    m_messages.clear();
}

void TestForm2::startNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("negative");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("width");

    const int max = std::numeric_limits<int>::max();
    const int min = std::numeric_limits<int>::min();

    QTest::newRow("one") << "1" << true << false << 1 << 0;
    QTest::newRow("0.4 down") << "0.4" << true << false << 0 << 0;
    QTest::newRow("0.6 up") << "0.6" << true << false << 1 << 0;
    QTest::newRow("1.5 to even 2") << "1.5" << true << false << 2 << 0;
    QTest::newRow("2.5 to even 2") << "2.5" << true << false << 2 << 0;
    QTest::newRow("3.5 to even 4") << "3.5" << true << false << 4 << 0;
    QTest::newRow("-0.4 warns, gives 0") << "-0.4" << true << true << 0 << 0;
    QTest::newRow("-0.5 to even 0") << "-0.5" << true << true << 0 << 0;
    QTest::newRow("-1.5 to even -2") << "-1.5" << true << true << -2 << 0;
    QTest::newRow("-2.5 to even -2") << "-2.5" << true << true << -2 << 0;
    QTest::newRow("-3") << "-3" << true << true << -3 << 0;
    QTest::newRow("plus sign") << "+7" << true << false << 7 << 0;
    QTest::newRow("minus zero is not below 0") << "-0" << true << false << 0 << 0;
    QTest::newRow("leading zeros set the width") << "007" << true << false << 7 << 3;
    QTest::newRow("no integer part") << ".5" << true << false << 0 << 0;
    QTest::newRow("no fraction digits") << "3." << true << false << 3 << 0;
    QTest::newRow("surrounding spaces") << " 12　" << true << false << 12 << 0;
    QTest::newRow("full-width leading zero") << "０１" << true << false << 1 << 2;
    QTest::newRow("lone zero pads nothing") << "0" << true << false << 0 << 0;
    QTest::newRow("negative with zeros") << "-003" << true << true << -3 << 3;
    QTest::newRow("zeros before the point count") << "01.5" << true << false << 2 << 2;
    QTest::newRow("full-width digits") << "１２" << true << false << 12 << 0;
    QTest::newRow("full-width sign") << "－３" << true << true << -3 << 0;
    QTest::newRow("full-width point") << "２．５" << true << false << 2 << 0;
    QTest::newRow("mixed widths") << "1２" << true << false << 12 << 0;
    QTest::newRow("highest") << "2147483647" << true << false << max << 0;
    QTest::newRow("rounds down to highest") << "2147483647.4" << true << false << max << 0;
    QTest::newRow("lowest") << "-2147483648" << true << true << min << 0;
    QTest::newRow("half below lowest to even") << "-2147483648.5" << true << true << min << 0;

    QTest::newRow("empty") << "" << false << false << 0 << 0;
    QTest::newRow("spaces only") << "  " << false << false << 0 << 0;
    QTest::newRow("letters") << "abc" << false << false << 0 << 0;
    QTest::newRow("exponent") << "3e99" << false << false << 0 << 0;
    QTest::newRow("small exponent") << "1e3" << false << false << 0 << 0;
    QTest::newRow("trailing letters") << "12abc" << false << false << 0 << 0;
    QTest::newRow("hex") << "0x10" << false << false << 0 << 0;
    QTest::newRow("thousands separator") << "1,000" << false << false << 0 << 0;
    QTest::newRow("inner space") << "1 2" << false << false << 0 << 0;
    QTest::newRow("double sign") << "--1" << false << false << 0 << 0;
    QTest::newRow("point alone") << "." << false << false << 0 << 0;
    QTest::newRow("sign alone") << "-" << false << false << 0 << 0;
    QTest::newRow("infinity") << "inf" << false << false << 0 << 0;
    QTest::newRow("nan") << "nan" << false << false << 0 << 0;
    QTest::newRow("half past highest rounds out") << "2147483647.5" << false << false << 0 << 0;
    QTest::newRow("past highest") << "2147483648" << false << false << 0 << 0;
    QTest::newRow("past lowest") << "-2147483649" << false << false << 0 << 0;
    QTest::newRow("full-width past highest") << "９９９９９９９９９９９" << false << false << 0 << 0;
    QTest::newRow("beyond double") << QString(400, QLatin1Char('9')) << false << false << 0 << 0;
}

void TestForm2::startNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(bool, negative);
    QFETCH(int, value);
    QFETCH(int, width);
    const StartNumber number = readStartNumber(text);
    QCOMPARE(number.valid, valid);
    if (valid) {
        QCOMPARE(number.negative, negative);
        QCOMPARE(number.value, value);
        QCOMPARE(number.width, width);
    }
}

void TestForm2::openDialog()
{
    delete m_dialog;
    delete m_main;
    m_main = new QWidget;
    m_main->setGeometry(100, 80, 568, 420);
    m_main->show();
    m_dialog = new Form2(m_messages, m_main);
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
}

void TestForm2::layoutAndFreshTexts()
{
    openDialog();
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("ファイル名設定"));
    QCOMPARE(m_dialog->size(), QSize(160, 144));
    QCOMPARE(m_dialog->minimumSize(), m_dialog->maximumSize());
    QCOMPARE(m_dialog->Text1->text(), QStringLiteral("Re"));
    QCOMPARE(m_dialog->Text2->text(), QStringLiteral("1"));
    QCOMPARE(m_dialog->cmdStart->text(), QStringLiteral("スタート"));
    QCOMPARE(m_dialog->CmdCancel->text(), QStringLiteral("キャンセル"));
    QCOMPARE(m_dialog->Label1->text(), QStringLiteral("文字"));
    QCOMPARE(m_dialog->Label2->text(), QStringLiteral("スタート数値"));
    QCOMPARE(m_dialog->Text1->geometry(), QRect(56, 48, 81, 18));
    QCOMPARE(m_dialog->cmdStart->geometry(), QRect(8, 112, 65, 25));
    QTRY_COMPARE(QApplication::focusWidget(), m_dialog->Text1);

    // Tab goes head, number, Start, Cancel.
    QTest::keyClick(m_dialog->Text1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m_dialog->Text2);
    QTest::keyClick(m_dialog->Text2, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m_dialog->cmdStart);
    QTest::keyClick(m_dialog->cmdStart, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m_dialog->CmdCancel);

    // Whatever was typed, the next opening starts from the design texts.
    m_dialog->Text1->setText(QStringLiteral("Photo"));
    m_dialog->Text2->setText(QStringLiteral("40"));
    QTest::mouseClick(m_dialog->cmdStart, Qt::LeftButton);
    openDialog();
    QCOMPARE(m_dialog->Text1->text(), QStringLiteral("Re"));
    QCOMPARE(m_dialog->Text2->text(), QStringLiteral("1"));
}

void TestForm2::placedOnMainWindowCentre()
{
    openDialog();
    const QRect frame = m_main->frameGeometry();
    QCOMPARE(m_dialog->frameGeometry().topLeft(),
             QPoint(frame.left() + frame.width() / 2, frame.top() + frame.height() / 2));
}

void TestForm2::labelReadsAsTwoLines()
{
    openDialog();
    const QString caption = m_dialog->Label3->text();
    QCOMPARE(caption.count(QChar(0x3000)), 10);
    QVERIFY(m_dialog->Label3->wordWrap());

    QTextLayout layout(caption, m_dialog->Label3->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(m_dialog->Label3->contentsRect().width());
        line.setPosition(QPointF(0, height));
        height += line.height();
        lines << caption.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("変更したい場合は")));
    QCOMPARE(lines[1], QStringLiteral("入力してください"));
    // Both lines are inside the label.
    QVERIFY(m_dialog->Label3->height() >= qCeil(height));
}

void TestForm2::startStoresHeadAndNumber_data()
{
    QTest::addColumn<QString>("head");
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("warned");

    QTest::newRow("untouched") << "Re" << "1" << 1 << false;
    QTest::newRow("single space head") << " " << "1" << 1 << false;
    QTest::newRow("head as typed") << " 旅行 " << "10" << 10 << false;
    QTest::newRow("negative warns then starts") << "Re" << "-3" << -3 << true;
    QTest::newRow("-0.4 warns, starts at 0") << "Re" << "-0.4" << 0 << true;
    QTest::newRow("0.4 no warning") << "Re" << "0.4" << 0 << false;
    QTest::newRow("2.5 to even") << "Re" << "2.5" << 2 << false;
    QTest::newRow("full-width digits") << "Re" << "１２" << 12 << false;
}

void TestForm2::startStoresHeadAndNumber()
{
    QFETCH(QString, head);
    QFETCH(QString, number);
    QFETCH(int, start);
    QFETCH(bool, warned);

    openDialog();
    m_dialog->Text1->setText(head);
    m_dialog->Text2->setText(number);
    QTest::mouseClick(m_dialog->cmdStart, Qt::LeftButton);

    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
    QCOMPARE(shared::SerialPrefix, head);
    QCOMPARE(shared::SerialStart, start);
    if (warned) {
        QCOMPARE(m_messages.shown().size(), 1);
        QCOMPARE(m_messages.shown()[0].prompt, badValue);
        QCOMPARE(m_messages.shown()[0].title, yellowCardTitle);
        QCOMPARE(m_messages.shown()[0].buttons, MsgButtons::Ok);
    } else {
        QVERIFY(m_messages.shown().isEmpty());
    }
}

void TestForm2::emptyHeadKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("number");
    QTest::newRow("plain number") << "1";
    QTest::newRow("negative number") << "-3";
    QTest::newRow("no number") << "abc";
}

void TestForm2::emptyHeadKeepsDialogOpen()
{
    QFETCH(QString, number);
    shared::SerialPrefix = QStringLiteral("Old");
    shared::SerialStart = 5;

    openDialog();
    m_dialog->Text1->clear();
    m_dialog->Text2->setText(number);
    QTest::mouseClick(m_dialog->cmdStart, Qt::LeftButton);

    QVERIFY(m_dialog->isVisible());
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown()[0].prompt, badValue);
    QCOMPARE(m_messages.shown()[0].title, cautionTitle);
    QCOMPARE(m_messages.shown()[0].buttons, MsgButtons::Ok);
    QCOMPARE(shared::SerialPrefix, QStringLiteral("Old"));
    QCOMPARE(shared::SerialStart, 5);
    QCOMPARE(m_dialog->Text2->text(), number);

    // Once the head is typed, the same dialog starts.
    m_dialog->Text1->setText(QStringLiteral("Re"));
    m_dialog->Text2->setText(QStringLiteral("4"));
    QTest::mouseClick(m_dialog->cmdStart, Qt::LeftButton);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(shared::SerialPrefix, QStringLiteral("Re"));
    QCOMPARE(shared::SerialStart, 4);
}

void TestForm2::badNumberKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("number");
    QTest::newRow("empty") << "";
    QTest::newRow("letters") << "abc";
    QTest::newRow("exponent") << "3e99";
    QTest::newRow("past highest") << "2147483648";
    QTest::newRow("far below lowest") << "-99999999999";
}

void TestForm2::badNumberKeepsDialogOpen()
{
    QFETCH(QString, number);
    shared::SerialPrefix = QStringLiteral("Old");
    shared::SerialStart = 5;

    openDialog();
    m_dialog->Text1->setText(QStringLiteral("Photo"));
    m_dialog->Text2->setText(number);
    QTest::mouseClick(m_dialog->cmdStart, Qt::LeftButton);

    QVERIFY(m_dialog->isVisible());
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown()[0].prompt, badValue);
    QCOMPARE(m_messages.shown()[0].title, cautionTitle);
    QCOMPARE(shared::SerialPrefix, QStringLiteral("Old"));
    QCOMPARE(shared::SerialStart, 5);
    QCOMPARE(m_dialog->Text1->text(), QStringLiteral("Photo"));
    QCOMPARE(m_dialog->Text2->text(), number);
}

void TestForm2::cancelEmptiesHeadKeepsNumber()
{
    openDialog();
    m_dialog->Text2->setText(QStringLiteral("7"));
    QTest::mouseClick(m_dialog->cmdStart, Qt::LeftButton);
    QCOMPARE(shared::SerialPrefix, QStringLiteral("Re"));

    openDialog();
    m_dialog->Text2->setText(QStringLiteral("99"));
    QTest::mouseClick(m_dialog->CmdCancel, Qt::LeftButton);
    QVERIFY(!m_dialog->isVisible());
    QVERIFY(shared::SerialPrefix.isEmpty());
    QCOMPARE(shared::SerialStart, 7);
    QVERIFY(m_messages.shown().isEmpty());
}

void TestForm2::titleBarCloseActsAsCancel()
{
    shared::SerialPrefix = QStringLiteral("Re");
    shared::SerialStart = 3;
    openDialog();
    m_dialog->Text1->setText(QStringLiteral("New"));
    QVERIFY(m_dialog->close());
    QVERIFY(!m_dialog->isVisible());
    QVERIFY(shared::SerialPrefix.isEmpty());
    QCOMPARE(shared::SerialStart, 3);
}

void TestForm2::escapeActsAsCancel()
{
    shared::SerialPrefix = QStringLiteral("Re");
    openDialog();
    QTest::keyClick(m_dialog->Text2, Qt::Key_Escape);
    QVERIFY(!m_dialog->isVisible());
    QVERIFY(shared::SerialPrefix.isEmpty());
}

void TestForm2::enterPressesOnlyAFocusedButton()
{
    openDialog();
    QTest::keyClick(m_dialog->Text1, Qt::Key_Return);
    QTest::keyClick(m_dialog->Text2, Qt::Key_Enter);
    QVERIFY(m_dialog->isVisible());
    QVERIFY(shared::SerialPrefix.isEmpty());
    QCOMPARE(shared::SerialStart, 0);
    m_dialog->cmdStart->setFocus();
    QTest::keyClick(m_dialog->cmdStart, Qt::Key_Return);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(shared::SerialPrefix, QStringLiteral("Re"));
    QCOMPARE(shared::SerialStart, 1);
}

void TestForm2::startTooltipFollowsTyping()
{
    // What the serial-number rename would give the files the main window lists, as the batch
    // forms it: the number's width included.
    QTemporaryDir programFolder;
    QTemporaryDir browsed;
    QStringList names{QStringLiteral("a.jpg"), QStringLiteral("b.png"), QStringLiteral("c.txt")};
    for (int i = 1; i <= 27; ++i)
        names.append(QStringLiteral("d%1.jpg").arg(i));
    for (const QString &name : names)
        QVERIFY(QFile(browsed.filePath(name)).open(QIODevice::WriteOnly));
    LinuxFileSystem fileSystem;
    Form1 form(PlatformContext{fileSystem, m_messages, programFolder.path()});
    QVERIFY(form.setDir1Path(browsed.path()));
    Form2 dialog(m_messages, &form);
    dialog.setNamesPreview([&](const NameRule &rule) { return form.startTooltip(rule); });
    const auto shown = [&] {
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), dialog.cmdStart->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(dialog.cmdStart, &help);
        return dialog.cmdStart->toolTip();
    };
    QCOMPARE(shown(), QStringLiteral("Re1.jpg, Re2.png, Re3.txt … Re30.jpg（30 ファイル）"));

    dialog.Text2->setText(QStringLiteral("001"));
    QCOMPARE(shown(), QStringLiteral("Re001.jpg, Re002.png, Re003.txt … Re030.jpg（30 ファイル）"));
    QTest::keyClick(dialog.Text1, Qt::Key_End);
    QTest::keyClicks(dialog.Text1, QStringLiteral("X"));
    dialog.Text2->setText(QStringLiteral("10"));
    QCOMPARE(shown(), QStringLiteral("ReX10.jpg, ReX11.png, ReX12.txt … ReX39.jpg（30 ファイル）"));
    // Texts that Start refuses name nothing.
    dialog.Text2->setText(QStringLiteral("abc"));
    QCOMPARE(shown(), QStringLiteral("（30 ファイル）"));
    // Files the checks refuse are marked with the reason, and the count says the batch stops.
    dialog.Text2->setText(QStringLiteral("2147483646"));
    QCOMPARE(shown(), QStringLiteral("ReX2147483646.jpg, ReX2147483647.png, × 連番 2147483648 は上限の 2147483647 を超えます"
                                     " … × 連番 2147483675 は上限の 2147483647 を超えます（30 ファイル、28 件の問題があるため中止されます）"));
    QVERIFY(m_messages.shown().isEmpty());
}

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
