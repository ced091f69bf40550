#include "dialogs/form3.h"

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
    keepOwnLook(this);
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
    Text1->setAccessibleName(Label1->text());
    keepMenuLook(Text1);

    Text1->setFocus();

    m_toolTip = new ToolTipOnDemand(Command1, [this] { return m_preview ? m_preview(currentRule()) : QString(); });
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form3::Command2_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form3::showNewNames);
    Form_Load(mainWindow);
}

void Form3::setNamesPreview(std::function<QString(const NameRule &)> preview)
{
    m_preview = std::move(preview);
    showNewNames();
}

// "..." is the cancel marker: Start with it renames nothing, so it names nothing.
NameRule Form3::currentRule() const
{
    if (Text1->text() == shared::UnifiedExtensionCancelled)
        return NameRule();
    return unifiedNameRule(Text1->text());
}

void Form3::showNewNames()
{
    m_toolTip->changed();
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
