#include "dialogs/form2.h"

#include "batch/preview.h"
#include "batch/serialname.h"
#include "dialogs/placement.h"
#include "dialogs/startnumber.h"
#include "main/commandbutton.h"
#include "main/sharedvalues.h"
#include "main/twips.h"

Form2::Form2(MessageBoxes &messages, QWidget *mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_messages(messages)
{
    setWindowTitle(QStringLiteral("ファイル名設定"));
    setWindowIcon(blankWindowIcon());
    setFixedSize(twipsToPixels(2400), twipsToPixels(2160));

    // Created in tab order.
    Text1 = new QLineEdit(QStringLiteral("Re"), this);
    place(Text1, 840, 720, 1215, 270);
    Label1 = new QLabel(QStringLiteral("文字"), this);
    place(Label1, 240, 720, 495, 255);
    Label2 = new QLabel(QStringLiteral("スタート数値"), this);
    place(Label2, 240, 1200, 1095, 255);
    Text2 = new QLineEdit(QStringLiteral("1"), this);
    place(Text2, 1440, 1200, 615, 270);
    cmdStart = makeCommandButton(this, QStringLiteral("スタート"));
    place(cmdStart, 120, 1680, 975, 375);
    CmdCancel = makeCommandButton(this, QStringLiteral("キャンセル"));
    place(CmdCancel, 1320, 1680, 975, 375);
    // The ten ideographic spaces push the second phrase onto a line of its own.
    Label3 = new QLabel(QStringLiteral("変更したい場合は　　　　　　　　　　入力してください"), this);
    Label3->setWordWrap(true);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(Label3, 120, 240, 2175, 375);
    // Two lines of the Japanese font need more than 375 twips: the label grows upwards, so that
    // its second line ends where the text box below begins, and nothing covers it.
    const int labelHeight = qMax(Label3->height(), Label3->heightForWidth(Label3->width()));
    Label3->setGeometry(Label3->x(), qMax(0, qMin(Label3->y(), Text1->y() - labelHeight)), Label3->width(), labelHeight);

    for (QLineEdit *box : {Text1, Text2})
        box->setTextMargins(0, 0, 0, 0);
    Text1->setFocus();

    connect(cmdStart, &QPushButton::clicked, this, &Form2::cmdStart_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &Form2::CmdCancel_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form2::showNewNames);
    connect(Text2, &QLineEdit::textChanged, this, &Form2::showNewNames);
    Form_Load(mainWindow);
}

void Form2::setListing(const QStringList &listing)
{
    m_listing = listing;
    showNewNames();
}

// Texts that Start would refuse name nothing: the tooltip then only counts the files.
void Form2::showNewNames()
{
    const StartNumber start = readStartNumber(Text2->text());
    const bool named = !Text1->text().isEmpty() && start.valid;
    updateToolTip(cmdStart, namesTooltip(m_listing, named ? serialNameRule(Text1->text(), start.value, start.width) : NameRule()));
}

void Form2::Form_Load(QWidget *mainWindow)
{
    placeAtCentreOf(this, mainWindow);
}

void Form2::cmdStart_Click()
{
    const QString badValue = QStringLiteral("値がわるいの");
    if (Text1->text().isEmpty()) {
        m_messages.show(badValue, MsgButtons::Ok, QStringLiteral("注意書き（減点1）"));
        return;
    }
    // A text that is no number, or too large for a serial number, keeps the dialog open with
    // the user's texts rather than ending the program.
    const StartNumber start = readStartNumber(Text2->text());
    if (!start.valid) {
        m_messages.show(badValue, MsgButtons::Ok, QStringLiteral("注意書き（減点1）"));
        return;
    }
    if (start.negative)
        m_messages.show(badValue, MsgButtons::Ok, QStringLiteral("イエローカード"));

    shared::SerialPrefix = Text1->text();
    shared::SerialStart = start.value;
    shared::SerialWidth = start.width;
    done(QDialog::Accepted);
}

void Form2::CmdCancel_Click()
{
    shared::SerialPrefix.clear();
    done(QDialog::Rejected);
}

void Form2::reject()
{
    CmdCancel_Click();
}
