#include "main/screencentre.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

void centreFrame(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QRect frame = window->frameGeometry();
    // Halves are not made whole in the original arithmetic; pixels are, so round down.
    window->move(area.left() + (area.width() - frame.width()) / 2, area.top() + (area.height() - frame.height()) / 2);
}

// Watches the window until the window manager has framed it, then centres it once more. The
// frame's size reaches the program some time after the window is shown, with no event of its
// own, so the watcher looks a few times a second.
class FrameWatcher : public QObject
{
public:
    explicit FrameWatcher(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        connect(&m_timer, &QTimer::timeout, this, &FrameWatcher::look);
        m_timer.start(25);
    }

private:
    void look()
    {
        if (m_window->isVisible() && m_window->frameGeometry().size() != m_window->size()) {
            centreFrame(m_window);
            deleteLater();
        } else if (++m_looks > 200) {
            // A window manager that adds no frame leaves nothing to wait for.
            deleteLater();
        }
    }

    QWidget *m_window;
    QTimer m_timer;
    int m_looks = 0;
};

} // namespace

void centreOnScreen(QWidget *window)
{
    centreFrame(window);
    if (window->frameGeometry().size() == window->size())
        new FrameWatcher(window);
}
