#pragma once

#include <QIcon>
#include <QPixmap>
#include <QWidget>

// The input dialogs show no window icon. An empty icon would inherit the main window's, so
// theirs is a clear one.
inline QIcon blankWindowIcon()
{
    QPixmap clear(16, 16);
    clear.fill(Qt::transparent);
    return QIcon(clear);
}

// The input dialogs put their top-left corner on the centre point of the main window.
inline void placeAtCentreOf(QWidget *dialog, const QWidget *mainWindow)
{
    const QRect frame = mainWindow->frameGeometry();
    dialog->move(frame.left() + frame.width() / 2, frame.top() + frame.height() / 2);
}
