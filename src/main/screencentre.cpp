#include "main/screencentre.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
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

// Watches the window until the window manager has framed it, then centres it once more.
class FrameWatcher : public QObject
{
public:
    explicit FrameWatcher(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        // A window manager frames a window at once when it is shown; one that adds no frame
        // leaves nothing to wait for.
        QTimer::singleShot(5000, this, [this] { deleteLater(); });
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && m_window->isVisible()
            && (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show)
            && m_window->frameGeometry().size() != m_window->size()) {
            m_window->removeEventFilter(this);
            QTimer::singleShot(0, m_window, [window = QPointer<QWidget>(m_window)] {
                if (window)
                    centreFrame(window);
            });
            deleteLater();
        }
        return false;
    }

private:
    QWidget *m_window;
};

} // namespace

void centreOnScreen(QWidget *window)
{
    // A platform that draws the frame itself knows it as soon as the window exists.
    window->winId();
    centreFrame(window);
    if (window->frameGeometry().size() == window->size())
        window->installEventFilter(new FrameWatcher(window));
}
