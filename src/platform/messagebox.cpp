#include "platform/messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

QString applicationTitle()
{
    return QStringLiteral("Ｍｉｖｏｔ");
}

int QtMessageBoxes::show(const QString &prompt, int buttons, const QString &title, const QString &details)
{
    QWidget *owner = QApplication::activeWindow();
    QMessageBox box(owner);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    box.setText(prompt);
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
