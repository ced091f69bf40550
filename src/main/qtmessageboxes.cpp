#include "platform/messagebox.h"

#include "main/twips.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace {

// How wide a line of a message may grow before a long name is wrapped.
constexpr int LineRoom = 420;

// The text as the box shows it: a name too long for a line, which has no place to break, is
// wrapped where it reaches the line's end. Only the picture changes: a screen reader and a copy
// get the text itself.
QString wrappedText(const QString &prompt, const QFontMetrics &metrics)
{
    static const QRegularExpression longRun(QStringLiteral("\\S+"));
    QString text;
    qsizetype last = 0;
    for (QRegularExpressionMatchIterator runs = longRun.globalMatch(prompt); runs.hasNext();) {
        const QRegularExpressionMatch run = runs.next();
        if (metrics.horizontalAdvance(run.captured()) <= LineRoom)
            continue;
        text += QStringView(prompt).mid(last, run.capturedStart() - last);
        const QStringView characters = run.capturedView();
        qsizetype lineStart = 0;
        for (qsizetype i = 0; i < characters.size();) {
            const qsizetype width = characters.at(i).isHighSurrogate() && i + 1 < characters.size() ? 2 : 1;
            if (i > lineStart && metrics.horizontalAdvance(characters.mid(lineStart, i + width - lineStart).toString()) > LineRoom) {
                text += characters.mid(lineStart, i - lineStart);
                text += QLatin1Char('\n');
                lineStart = i;
            }
            i += width;
        }
        text += characters.mid(lineStart);
        last = run.capturedEnd();
    }
    text += QStringView(prompt).mid(last);
    return text;
}

// The window a box belongs to, so that the window system keeps the box above it: the dialog in
// front, else the active window, else the program's window that shows.
QWidget *ownerWindow()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !(window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip))
            return window;
    }
    return nullptr;
}

// A box whose Ctrl+C copies its text as written, not as wrapped.
class MessageBox : public QMessageBox
{
public:
    MessageBox(QWidget *owner, const QString &prompt)
        : QMessageBox(owner)
        , m_prompt(prompt)
    {
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event != QKeySequence::Copy) {
            QMessageBox::keyPressEvent(event);
            return;
        }
        const QString rule = QStringLiteral("---------------------------\n");
        QString copied = rule + windowTitle() + QLatin1Char('\n') + rule + m_prompt + QLatin1Char('\n') + rule;
        for (const QAbstractButton *button : buttons())
            copied += button->text() + QStringLiteral("   ");
        copied += QLatin1Char('\n') + rule;
        if (!detailedText().isEmpty())
            copied += detailedText() + QLatin1Char('\n') + rule;
        QGuiApplication::clipboard()->setText(copied);
    }

private:
    QString m_prompt;
};

} // namespace

int QtMessageBoxes::show(const QString &prompt, int buttons, const QString &title, const QString &details)
{
    QWidget *owner = ownerWindow();
    MessageBox box(owner, prompt);
    // The font of the window it belongs to and the program's own colours, whatever the theme says.
    keepOwnLook(&box);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    box.setTextFormat(Qt::PlainText);
    box.setText(wrappedText(prompt, box.fontMetrics()));
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
        label->setAccessibleName(prompt);
    if (!details.isEmpty())
        box.setDetailedText(details);
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    QPushButton *cancel = nullptr;
    if (buttons == MsgButtons::OkCancel) {
        cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.setDefaultButton(ok);
    box.exec();
    // Without a window manager nobody hands the focus back to the window the box came from.
    if (owner)
        owner->activateWindow();
    return box.clickedButton() == ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
}
