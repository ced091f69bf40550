#include "main/form1.h"

#include "main/commandbutton.h"
#include "main/screencentre.h"
#include "main/twips.h"
#include "platform/programfolder.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QToolTip>

namespace {

QLabel *makeLabel(QWidget *parent, const QString &caption, unsigned backColor)
{
    auto *label = new QLabel(caption, parent);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colorFromBgr(backColor));
    label->setPalette(palette);
    return label;
}

// A label that sizes itself to its caption, from its top-left corner.
void placeAutoSized(QLabel *label, int left, int top, int width, int height)
{
    place(label, left, top, width, height);
    label->adjustSize();
}

QLineEdit *makeTextBox(QWidget *parent, unsigned backColor = 0)
{
    auto *box = new QLineEdit(parent);
    box->setTextMargins(0, 0, 0, 0);
    if (backColor != 0) {
        QPalette palette = box->palette();
        palette.setColor(QPalette::Base, colorFromBgr(backColor));
        box->setPalette(palette);
    }
    return box;
}

// A classic frame: a thin etched border with its caption standing on the top line.
QGroupBox *makeFrame(QWidget *parent, const QString &caption)
{
    auto *frame = new QGroupBox(caption, parent);
    keepLook(frame);
    frame->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid #808080; border-radius: 0px; margin-top: 7px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px; padding: 0px 1px; }"));
    return frame;
}

} // namespace

Form1::Form1(const PlatformContext &platform, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_platform(platform)
{
    buildLayout();
    m_drive = Drive1->drive();
    // The lists open on the program folder: a batch there must not rename the program itself.
    File1->setOwnFiles({QCoreApplication::applicationFilePath(),
                        joinPath(m_platform.programFolder, QStringLiteral("Option.ini"))});

    connect(Drive1, &DriveList::changedByUser, this, &Form1::Drive1_Change);
    connect(Dir1, &FolderList::changed, this, &Form1::Dir1_Change);
    connect(Dir1, &FolderList::openRequested, this, [this](const QString &folder) {
        // Opening the folder that is open already changes nothing, a typed name included.
        if (QDir::cleanPath(folder) != Dir1->path())
            setDir1Path(folder);
    });
    connect(File1, &FileList::chosen, this, &Form1::File1_Click);
    for (int index = 0; index < 2; ++index)
        connect(Text1[index], &QLineEdit::returnPressed, this, [this, index] { Text1_KeyPress(index, 13); });
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(cmdHuka, &QPushButton::clicked, this, &Form1::cmdHuka_Click);
    setUpTakeBack();
    setUpConversion();
}

void Form1::buildLayout()
{
    setWindowTitle(QStringLiteral("Ｍｉｖｏｔ   (Quandelspur)ver2.0"));
    setWindowIcon(QIcon(QStringLiteral(":/mivot.png")));
    setFixedSize(twipsToPixels(8520), twipsToPixels(6300));
    // A fixed single border: the title bar offers minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The program's own look, whatever the desktop's theme sets or sets later: the font start-up
    // chose, which the window's dialogs and message boxes take over, and the style's light colours.
    QFont font = QApplication::font();
    font.setResolveMask(QFont::AllPropertiesResolved);
    setFont(font);
    setAutoFillBackground(true);
    QPalette palette = ownPalette(this);
    palette.setColor(QPalette::Window, colorFromBgr(0x00C0C0C0));
    setPalette(palette);
    QToolTip::setPalette(palette);
    QToolTip::setFont(font);

    // Labels first, so that the text boxes they touch lie above them.
    Label2 = makeLabel(this, QStringLiteral("元ファイル名"), 0x00C0C0FF);
    placeAutoSized(Label2, 3120, 120, 975, 180);
    Label1[1] = makeLabel(this, QStringLiteral("．"), 0x00C0C0C0);
    placeAutoSized(Label1[1], 7440, 480, 120, 180);
    Label3 = makeLabel(this, QStringLiteral("変換ファイル名"), 0x00FFFFC0);
    placeAutoSized(Label3, 3120, 720, 1155, 180);
    Label1[0] = makeLabel(this, QStringLiteral("．"), 0x00C0C0C0);
    placeAutoSized(Label1[0], 7440, 1080, 120, 180);

    Drive1 = new DriveList(this);
    place(Drive1, 240, 240, 2535, 300);
    Dir1 = new FolderList(this);
    place(Dir1, 240, 600, 2535, 2190);
    File1 = new FileList(this);
    place(File1, 240, 2880, 2535, 3330);

    Text2 = makeTextBox(this, 0x00E0E0E0);
    place(Text2, 3120, 360, 4215, 270);
    Text3 = makeTextBox(this, 0x00E0E0E0);
    place(Text3, 7560, 360, 735, 270);
    Text1[0] = makeTextBox(this);
    place(Text1[0], 3120, 960, 4215, 270);
    Text1[1] = makeTextBox(this);
    place(Text1[1], 7560, 960, 735, 270);

    Frame1 = makeFrame(this, QStringLiteral("Ｍｅｎｕ"));
    place(Frame1, 3120, 1560, 2775, 4215);
    Command4 = makeCommandButton(Frame1, QStringLiteral("スペース除去"), QStringLiteral("ファイルのスペースを取り除きます"));
    place(Command4, 360, 600, 1935, 495);
    Command5 = makeCommandButton(Frame1, QStringLiteral("”＿”除去"), QStringLiteral("アンダーバーを取り除きます"));
    place(Command5, 360, 1440, 1935, 495);
    Command6 = makeCommandButton(Frame1, QStringLiteral("連番リネーム"), QStringLiteral("XXX００１～XXX１１１っていう感じ"));
    place(Command6, 360, 2280, 1935, 495);
    Command7 = makeCommandButton(Frame1, QStringLiteral("連ＲＥ拡張子"), QStringLiteral("全てのファイルを指定拡張子にします"));
    place(Command7, 360, 3120, 1935, 495);

    Frame2 = makeFrame(this, QStringLiteral("Ｏｐｔｉｏｎ"));
    place(Frame2, 6240, 1440, 2055, 3255);
    Command1 = makeCommandButton(Frame2, QStringLiteral("表示ファイル規制"), QStringLiteral("リフトボックスの表示ファイルを拡張子で設定"));
    place(Command1, 240, 600, 1575, 495);
    cmdHuka = makeCommandButton(Frame2, QStringLiteral("拡張子自動付加"), QStringLiteral("手動リネーム中元ファイルの拡張子をそのままつけます"));
    place(cmdHuka, 240, 1440, 1575, 495);
    cmdHuka->setAutoFillBackground(true);
    cmdHuka->setCheckable(true);
    Command3 = makeCommandButton(Frame2, QStringLiteral("Version情報"));
    place(Command3, 240, 2400, 1575, 375);

    Command2 = makeCommandButton(this, QStringLiteral("終了(&X)"));
    place(Command2, 6360, 5040, 1935, 615);

    // What a screen reader calls the boxes and lists: their labels' words.
    Text2->setAccessibleName(QStringLiteral("元ファイル名"));
    Text3->setAccessibleName(QStringLiteral("元ファイル名の拡張子"));
    Text1[0]->setAccessibleName(QStringLiteral("変換ファイル名"));
    Text1[1]->setAccessibleName(QStringLiteral("変換ファイル名の拡張子"));
    Drive1->setAccessibleName(QStringLiteral("ドライブ"));
    Drive1->view()->setAccessibleName(QStringLiteral("ドライブ"));
    Dir1->setAccessibleName(QStringLiteral("フォルダ"));
    File1->setAccessibleName(QStringLiteral("ファイル"));

    for (QLineEdit *box : {Text1[0], Text1[1], Text2, Text3})
        keepMenuLook(box);

    // The tab order of the layout: focusable controls by tab index.
    const QList<QWidget *> tabOrder = {Drive1, Dir1, File1, Text1[0], Text1[1], Command2, Command1, Command4,
                                       Command5, Command6, Command7, cmdHuka, Text2, Text3, Command3};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    setCmdHukaBackColor(HukaColor::Off);
}

QString Form1::workFolder() const
{
    return workFolderOf(m_platform.programFolder);
}

void Form1::setCmdHukaBackColor(unsigned color)
{
    m_hukaColor = color;
    const QColor shown = color == HukaColor::Off ? this->style()->standardPalette().color(QPalette::Button)
                                                 : colorFromBgr(color);
    // The style sheet goes first: taking it away gives the button back the palette it had when
    // the sheet was set, which would be the last "on" colour.
    cmdHuka->setStyleSheet(QString());
    QPalette palette = cmdHuka->palette();
    palette.setColor(QPalette::Button, shown);
    cmdHuka->setPalette(palette);
    // The style shades a button face as a gradient; "on" is one flat colour, edge as usual.
    if (color != HukaColor::Off)
        setFlatFace(cmdHuka, shown);
    // For those who cannot see the colour: the switch is a checkable button, checked when on.
    cmdHuka->setChecked(color == HukaColor::On);
}

bool Form1::event(QEvent *event)
{
    // A theme that sets the application's font later takes the tooltips' along: they get the
    // window's back.
    if (event->type() == QEvent::ApplicationFontChange && QToolTip::font() != font())
        QToolTip::setFont(font());
    // A compositor that does not keep a dialog above its window (sway) brings the window over the
    // dialog it waits for at a click: the dialog comes back on top, where the user can answer it.
    if (event->type() == QEvent::WindowActivate) {
        if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != this && modal->isVisible())
            QTimer::singleShot(0, modal, [modal] { modal->activateWindow(); });
    }
    return QWidget::event(event);
}

void Form1::emptyNameBoxes()
{
    Text1[0]->setText(QString());
    Text1[1]->setText(QString());
    Text2->setText(QString());
    Text3->setText(QString());
}
