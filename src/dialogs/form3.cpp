#include "dialogs/form3.h"

#include "batch/preview.h"
#include "batch/serialname.h"
#include "dialogs/placement.h"
#include "main/commandbutton.h"
#include "main/sharedvalues.h"
#include "main/twips.h"

Form3::Form3(MessageBoxes &messages, QWidget *mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_messages(messages)
{
    setWindowTitle(QStringLiteral("統一拡張子設定"));
    setWindowIcon(blankWindowIcon());
    setFixedSize(twipsToPixels(2985), twipsToPixels(2235));

    // Created in tab order.
    Text1 = new QLineEdit(this);
    Text1->setTextMargins(0, 0, 0, 0);
    place(Text1, 600, 840, 1575, 375);
    Command1 = makeCommandButton(this, QStringLiteral("スタート"));
    place(Command1, 240, 1560, 1095, 495);
    Command2 = makeCommandButton(this, QStringLiteral("キャンセル"));
    place(Command2, 1560, 1560, 1095, 495);
    Label1 = new QLabel(QStringLiteral("拡張子を入力してください"), this);
    place(Label1, 480, 480, 1920, 180);
    Label1->adjustSize();

    Text1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form3::Command2_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form3::showNewNames);
    Form_Load(mainWindow);
}

void Form3::setListing(const QStringList &listing)
{
    m_listing = listing;
    showNewNames();
}

// "..." is the cancel marker: Start with it renames nothing, so it names nothing.
void Form3::showNewNames()
{
    const bool named = Text1->text() != shared::UnifiedExtensionCancelled;
    updateToolTip(Command1, namesTooltip(m_listing, named ? unifiedNameRule(Text1->text()) : NameRule()));
}

void Form3::Form_Load(QWidget *mainWindow)
{
    placeAtCentreOf(this, mainWindow);
}

void Form3::Command1_Click()
{
    if (Text1->text().isEmpty()
        && m_messages.show(QStringLiteral("拡張子が設定されてないですがいいですか？"), MsgButtons::OkCancel,
                           QStringLiteral("確認"))
               != MsgAnswer::Ok) {
        return;
    }
    shared::UnifiedExtension = Text1->text();
    done(QDialog::Accepted);
}

void Form3::Command2_Click()
{
    shared::UnifiedExtension = shared::UnifiedExtensionCancelled;
    done(QDialog::Rejected);
}

void Form3::reject()
{
    Command2_Click();
}
