#pragma once

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
