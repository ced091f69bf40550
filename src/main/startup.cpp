#include "main/startup.h"

#include "main/form1.h"
#include "platform/filename.h"
#include "platform/filesystem.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFont>
#include <QProxyStyle>
#include <QStyleFactory>

#include <cstring>

#include <sys/stat.h>

bool claimSingleCopy(SingleCopyLock &lock, MessageBoxes &messages)
{
    if (lock.acquire())
        return true;
    messages.show(QStringLiteral("すでに起動してます"), MsgButtons::Ok, applicationTitle());
    return false;
}

namespace {

// The program's buttons stand in the order its windows were designed with (OK before キャンセル),
// whatever order the desktop prefers for its own dialogs.
class ProgramStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_DialogButtonLayout)
            return QDialogButtonBox::WinLayout;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    // The style's light colours, fixed: a desktop theme's palette (GTK's dark one) never enters.
    QPalette standardPalette() const override
    {
        struct Colours
        {
            QPalette::ColorRole role;
            QRgb active;
            QRgb disabled;
        };
        static const Colours table[] = {
            {QPalette::WindowText, 0xff000000, 0xffbebebe}, {QPalette::Button, 0xffefefef, 0xffefefef},
            {QPalette::Light, 0xffffffff, 0xffffffff},      {QPalette::Midlight, 0xffcacaca, 0xffcacaca},
            {QPalette::Dark, 0xff9f9f9f, 0xffbebebe},       {QPalette::Mid, 0xffb8b8b8, 0xffb8b8b8},
            {QPalette::Text, 0xff000000, 0xffbebebe},       {QPalette::BrightText, 0xffffffff, 0xffffffff},
            {QPalette::ButtonText, 0xff000000, 0xffbebebe}, {QPalette::Base, 0xffffffff, 0xffefefef},
            {QPalette::Window, 0xffefefef, 0xffefefef},     {QPalette::Shadow, 0xff767676, 0xffb1b1b1},
            {QPalette::Highlight, 0xff308cc6, 0xff919191},  {QPalette::HighlightedText, 0xffffffff, 0xffffffff},
            {QPalette::Link, 0xff0000ff, 0xff0000ff},       {QPalette::LinkVisited, 0xffff00ff, 0xffff00ff},
            {QPalette::AlternateBase, 0xfff7f7f7, 0xfff7f7f7}, {QPalette::ToolTipBase, 0xffffffdc, 0xffffffdc},
            {QPalette::ToolTipText, 0xff000000, 0xff000000}, {QPalette::PlaceholderText, 0x80000000, 0x80000000},
        };
        QPalette palette;
        for (const Colours &colours : table) {
            palette.setColor(QPalette::Active, colours.role, QColor::fromRgba(colours.active));
            palette.setColor(QPalette::Inactive, colours.role, QColor::fromRgba(colours.active));
            palette.setColor(QPalette::Disabled, colours.role, QColor::fromRgba(colours.disabled));
        }
        return palette;
    }
};

} // namespace

void applyApplicationLook()
{
    QApplication::setStyle(new ProgramStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
    // A desktop theme may hand whole classes of widgets palettes of their own (GTK's dark themes
    // do: buttons, lists, boxes, labels, menus), which no window's own colours would reach: they
    // take the style's light palette, as the windows do.
    const QPalette light = QApplication::style()->standardPalette();
    for (const char *className : {"QAbstractButton", "QToolButton", "QCheckBox", "QRadioButton", "QHeaderView",
                                  "QAbstractItemView", "QMessageBoxLabel", "QTabBar", "QLabel", "QGroupBox",
                                  "QMenu", "QMenuBar", "QTextEdit", "QTextControl", "QLineEdit", "QComboBox"})
        QApplication::setPalette(light, className);
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPixelSize(12);
    QApplication::setFont(font);
}

std::optional<QString> informationAsked(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            break;
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "-?") == 0) {
            return QStringLiteral(
                "使い方: mivot [フォルダ または ファイル]\n"
                "ファイルのリネーム支援ツール\n"
                "\n"
                "フォルダを指定すると、そのフォルダを開きます。ファイルを指定すると、そのファイルのある\n"
                "フォルダを開き、そのファイルを選択します。\n"
                "\n"
                "オプション:\n"
                "  -h, --help     この説明を表示して終了します\n"
                "  -v, --version  バージョン情報を表示して終了します\n");
        }
        if (std::strcmp(argument, "--version") == 0 || std::strcmp(argument, "-v") == 0) {
            return QStringLiteral(
                "mivot 2.00（ファイルのリネーム支援ツール）\n"
                "ライセンス: GPL-3.0-or-later（GNU 一般公衆利用許諾書 第3版 またはそれ以降の版）\n"
                "このプログラムは無保証です。\n");
        }
    }
    return std::nullopt;
}

QString placeArgument(int argc, char **argv, const QString &currentFolder)
{
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (options && std::strcmp(argument, "--") == 0) {
            options = false;
            continue;
        }
        if ((options && argument[0] == '-') || argument[0] == '\0')
            continue;
        const QString place = nameFromBytes(argument);
        return QDir::cleanPath(place.startsWith(QLatin1Char('/')) ? place : joinPath(currentFolder, place));
    }
    return QString();
}

QString firstPlace(const QString &given, bool installed, const QString &home)
{
    if (!given.isEmpty())
        return given;
    return installed ? home : QString();
}

void loadAt(Form1 &form, const QString &place)
{
    if (place.isEmpty()) {
        form.Form_Load();
        return;
    }
    // Start-up runs as ever, in the program folder, which is small; then the lists move.
    QString folder = place;
    QString file;
    struct stat status;
    if (::stat(bytesOfName(place).constData(), &status) == 0 && !S_ISDIR(status.st_mode)) {
        const qsizetype slash = place.lastIndexOf(QLatin1Char('/'));
        folder = slash == 0 ? QStringLiteral("/") : place.left(slash);
        file = place.mid(slash + 1);
    }
    form.Form_Load();
    if (!form.setDir1Path(folder))
        return;
    const int row = int(form.File1->entries().indexOf(file));
    if (file.isEmpty() || row < 0)
        return;
    form.File1->setCurrentIndex(form.File1->model()->index(row, 0));
    form.File1_Click();
}
