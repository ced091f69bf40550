#pragma once

class QWidget;

// Puts a window's outer frame (title bar and border included) in the middle of its screen. The
// frame that a window manager adds is known only once the window is shown, so the window is
// centred again when the frame first appears; without a window manager nothing moves later.
void centreOnScreen(QWidget *window);
