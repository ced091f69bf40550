#pragma once

#include <QCursor>
#include <QPushButton>
#include <QToolTip>

// A command button as every window here has them: never the default button, so that Enter in a
// text box presses nothing.
inline QPushButton *makeCommandButton(QWidget *parent, const QString &caption, const QString &toolTip = QString())
{
    auto *button = new QPushButton(caption, parent);
    button->setToolTip(toolTip);
    button->setAutoDefault(false);
    return button;
}

// Changes a button's tooltip; one on show under the mouse changes in place, as the user types.
inline void updateToolTip(QPushButton *button, const QString &toolTip)
{
    button->setToolTip(toolTip);
    if (QToolTip::isVisible() && button->underMouse())
        QToolTip::showText(QCursor::pos(), toolTip, button);
}
