#include "dialogs/form4.h"

#include "main/commandbutton.h"
#include "main/screencentre.h"
#include "main/twips.h"

#include <QKeyEvent>
#include <QPainter>

Form4::Form4(QWidget *mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_picture(QStringLiteral(":/about.png"))
{
    // No caption. An empty title would make the platform show the program's name instead.
    setWindowTitle(QStringLiteral(" "));
    // A screen reader names the window after the button that opens it.
    setAccessibleName(QStringLiteral("Version情報"));
    keepOwnLook(this);
    setFixedSize(twipsToPixels(7530), twipsToPixels(4530));

    Label1 = new QLabel(QStringLiteral("https://mivot.example.org/"), this);
    // Plain text, so that a click on the address opens nothing.
    Label1->setTextFormat(Qt::PlainText);
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPointSizeF(9.75);
    font.setBold(true);
    Label1->setFont(font);
    place(Label1, 1440, 3720, 4905, 195);
    Label1->adjustSize();

    Command1 = makeCommandButton(this, QStringLiteral("Back"));
    // One flat pale blue, as the window was drawn.
    setFlatFace(Command1, QColor(192, 192, 255));
    place(Command1, 6120, 3960, 855, 375);
    Command1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    Form_Load();
}

void Form4::Form_Load()
{
    // A platform that draws the frame itself knows it as soon as the window exists.
    create();
    centreOnScreen(this);
}

void Form4::Command1_Click()
{
    accept();
}

void Form4::keyPressEvent(QKeyEvent *event)
{
    // Only Back closes the window; it is no cancel button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Form4::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}
