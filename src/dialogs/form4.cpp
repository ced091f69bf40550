#include "dialogs/form4.h"

#include "main/twips.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

Form4::Form4(QWidget *mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_picture(QStringLiteral(":/about.png"))
{
    // No caption. An empty title would make the platform show the program's name instead.
    setWindowTitle(QStringLiteral(" "));
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

    Command1 = new QPushButton(QStringLiteral("Back"), this);
    Command1->setAutoDefault(false);
    Command1->setAutoFillBackground(true);
    QPalette palette = Command1->palette();
    palette.setColor(QPalette::Button, QColor(192, 192, 255));
    Command1->setPalette(palette);
    place(Command1, 6120, 3960, 855, 375);
    Command1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    Form_Load();
}

void Form4::Form_Load()
{
    const QWidget *owner = parentWidget();
    const QScreen *screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // The outer size counts; the platform knows the frame once the window exists.
    create();
    const QRect frame = frameGeometry();
    move(area.left() + (area.width() - frame.width()) / 2, area.top() + (area.height() - frame.height()) / 2);
}

void Form4::Command1_Click()
{
    accept();
}

void Form4::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}
