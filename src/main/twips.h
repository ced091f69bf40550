#pragma once

#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QStyle>
#include <QWidget>

// Positions and sizes are kept in twips, as the window was laid out; 15 twips make one pixel.
constexpr int twipsToPixels(double twips)
{
    return static_cast<int>(twips / 15.0 + 0.5);
}

inline void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// Colours are written &H00BBGGRR.
inline QColor colorFromBgr(unsigned bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

// The light palette of the program's style with every colour fixed: a window keeps the colours
// it was designed with, text colours included, whatever the desktop's theme sets.
inline QPalette ownPalette(const QWidget *window)
{
    QPalette palette = window->style()->standardPalette();
    palette.setResolveMask(~QPalette::ResolveMask(0));
    return palette;
}

// A dialog of the main window: the program's colours, and the font of the window it belongs to
// rather than one a desktop theme sets later.
inline void keepOwnLook(QWidget *dialog)
{
    dialog->setAttribute(Qt::WA_WindowPropagation);
    dialog->setPalette(ownPalette(dialog));
}

// The menu of a text box is a window of its own, which would take the desktop theme's colours and
// font: it takes the box's.
inline void keepMenuLook(QLineEdit *box)
{
    box->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(box, &QWidget::customContextMenuRequested, box, [box](const QPoint &at) {
        QMenu *menu = box->createStandardContextMenu();
        menu->setAttribute(Qt::WA_WindowPropagation);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(box->mapToGlobal(at));
    });
}
