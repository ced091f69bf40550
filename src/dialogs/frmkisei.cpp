#include "dialogs/frmkisei.h"

#include "dialogs/patternentries.h"
#include "dialogs/placement.h"
#include "main/commandbutton.h"
#include "main/twips.h"

#include <QKeyEvent>

EntryListBox::EntryListBox(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemClicked, this, &EntryListBox::chosen);
}

void EntryListBox::keyPressEvent(QKeyEvent *event)
{
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentRow() >= 0)
        emit chosen();
}

frmKisei::frmKisei(const QString &pattern, MessageBoxes &messages, QWidget *mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_messages(messages)
{
    setWindowTitle(QStringLiteral("拡張子規制設定"));
    setWindowIcon(blankWindowIcon());
    keepOwnLook(this);
    setFixedSize(twipsToPixels(4680), twipsToPixels(2190));

    // Created in tab order.
    txtKisei = new QLineEdit(this);
    txtKisei->setTextMargins(0, 0, 0, 0);
    place(txtKisei, 1560, 840, 1095, 270);
    Command1 = makeCommandButton(this, QStringLiteral("SAVE"));
    place(Command1, 2880, 1560, 975, 375);
    Command2 = makeCommandButton(this, QStringLiteral("登録"));
    place(Command2, 1560, 1200, 975, 255);
    Command4 = makeCommandButton(this, QStringLiteral("内容クリア"));
    place(Command4, 1560, 1560, 975, 375);
    List1 = new EntryListBox(this);
    place(List1, 120, 120, 1095, 2040);
    Label2 = new QLabel(QStringLiteral("Label1"), this);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(Label2, 1560, 240, 2655, 495);
    txtKisei->setAccessibleName(QStringLiteral("登録する拡張子"));
    keepMenuLook(txtKisei);
    List1->setAccessibleName(QStringLiteral("表示する拡張子"));

    txtKisei->setFocus();

    connect(Command1, &QPushButton::clicked, this, &frmKisei::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmKisei::Command2_Click);
    connect(Command4, &QPushButton::clicked, this, &frmKisei::Command4_Click);
    connect(List1, &EntryListBox::chosen, this, &frmKisei::List1_Click);
    Form_Load(pattern, mainWindow);
}

QStringList frmKisei::entries() const
{
    QStringList texts;
    for (int row = 0; row < List1->count(); ++row)
        texts.append(List1->item(row)->text());
    return texts;
}

void frmKisei::Form_Load(const QString &pattern, QWidget *mainWindow)
{
    placeAtCentreOf(this, mainWindow);
    // An empty pattern (no stored filter yet) shows every file, and is offered as "*.*" so that
    // the first registration replaces it instead of joining it.
    strcheck = pattern;
    if (strcheck.isEmpty())
        strcheck = QStringLiteral("*.*");
    showCurrentPattern(strcheck);
    List1->addItems(parsePatternEntries(strcheck));
}

void frmKisei::keyPressEvent(QKeyEvent *event)
{
    // The window has no cancel button: Escape must not throw the edited entries away.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmKisei::showCurrentPattern(const QString &pattern)
{
    Label2->setText(QStringLiteral("現在の設定\n") + pattern);
    // Two lines of the Japanese font are taller than the layout's box: grow it, so that the
    // pattern's descenders show.
    Label2->resize(Label2->width(), qMax(twipsToPixels(495), Label2->sizeHint().height()));
}

void frmKisei::Command1_Click()
{
    m_saved = joinPatternEntries(entries());
    accept();
}

void frmKisei::Command2_Click()
{
    if (txtKisei->text().isEmpty()) {
        m_messages.show(QStringLiteral("あたいが悪いの？"), MsgButtons::Ok);
        return;
    }
    if (List1->count() > 0 && List1->item(0)->text() == QLatin1String("ALL"))
        List1->clear();
    List1->addItem(txtKisei->text());
    txtKisei->clear();
}

void frmKisei::Command4_Click()
{
    const QString allFiles = QStringLiteral("*.*");
    emit patternSet(allFiles);
    showCurrentPattern(allFiles);
    List1->clear();
    List1->addItem(QStringLiteral("ALL"));
}

void frmKisei::List1_Click()
{
    const int index = List1->currentRow();
    if (index < 0)
        return;
    const QString entry = List1->item(index)->text();
    if (m_messages.show(entry + QStringLiteral("\nを消去します"), MsgButtons::OkCancel,
                                      QStringLiteral("消去確認メッセージ"))
        != MsgAnswer::Ok) {
        return;
    }
    delete List1->takeItem(index);
    List1->setCurrentRow(-1);
}
