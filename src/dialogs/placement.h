#pragma once

#include <QWidget>

// The input dialogs put their top-left corner on the centre point of the main window.
inline void placeAtCentreOf(QWidget *dialog, const QWidget *mainWindow)
{
    const QRect frame = mainWindow->frameGeometry();
    dialog->move(frame.left() + frame.width() / 2, frame.top() + frame.height() / 2);
}
