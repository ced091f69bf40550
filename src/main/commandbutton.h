#pragma once

#include <QPushButton>

// A command button as every window here has them: never the default button, so that Enter in a
// text box presses nothing.
inline QPushButton *makeCommandButton(QWidget *parent, const QString &caption, const QString &toolTip = QString())
{
    auto *button = new QPushButton(caption, parent);
    button->setToolTip(toolTip);
    button->setAutoDefault(false);
    return button;
}
