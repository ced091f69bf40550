#include "platform/messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace {

// A long name has no place to break and would stretch the box past the screen: a zero-width
// space after each of its characters lets the box wrap it.
QString breakableText(const QString &prompt)
{
    static const QRegularExpression longRun(QStringLiteral("\\S{40,}"));
    QString text;
    qsizetype last = 0;
    for (QRegularExpressionMatchIterator runs = longRun.globalMatch(prompt); runs.hasNext();) {
        const QRegularExpressionMatch run = runs.next();
        text += QStringView(prompt).mid(last, run.capturedStart() - last);
        for (const QChar ch : run.capturedView()) {
            text += ch;
            if (!ch.isHighSurrogate())
                text += QChar(0x200B);
        }
        last = run.capturedEnd();
    }
    text += QStringView(prompt).mid(last);
    return text;
}

} // namespace

int QtMessageBoxes::show(const QString &prompt, int buttons, const QString &title, const QString &details)
{
    QWidget *owner = QApplication::activeWindow();
    QMessageBox box(owner);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    box.setText(breakableText(prompt));
    box.setTextFormat(Qt::PlainText);
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
