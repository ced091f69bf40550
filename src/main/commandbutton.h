#pragma once

#include <QCursor>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolTip>

#include <functional>

// A command button as every window here has them: never the default button, so that Enter in a
// text box presses nothing, but Enter on the button itself presses it, as Space does.
class CommandButton : public QPushButton
{
public:
    explicit CommandButton(const QString &caption, QWidget *parent = nullptr)
        : QPushButton(caption, parent)
    {
        setAutoDefault(false);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (!event->isAutoRepeat())
                click();
            event->accept();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

// A widget under a style sheet takes the application's colours and font, which a desktop theme
// sets, rather than its window's: such a widget keeps the ones it has as its own.
inline void keepLook(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setResolveMask(~QPalette::ResolveMask(0));
    widget->setPalette(palette);
    QFont font = widget->font();
    font.setResolveMask(QFont::AllPropertiesResolved);
    widget->setFont(font);
}

inline QPushButton *makeCommandButton(QWidget *parent, const QString &caption, const QString &toolTip = QString())
{
    auto *button = new CommandButton(caption, parent);
    button->setToolTip(toolTip);
    // Colours and font taken from the window before any style sheet can stand between.
    button->setPalette(parent->palette());
    button->setFont(parent->font());
    keepLook(button);
    return button;
}

// A button whose face is one flat colour with the usual edge, as the buttons that show their
// colour have it; the caption in the window text colour, whatever the desktop's theme.
inline void setFlatFace(QPushButton *button, const QColor &face)
{
    keepLook(button);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %2; border: 1px solid %3;"
                                         " border-radius: 2px; }"
                                         "QPushButton:focus { border: 1px solid %4; }")
                              .arg(face.name(), button->palette().color(QPalette::ButtonText).name(),
                                   face.darker(250).name(), button->palette().color(QPalette::Highlight).name()));
}

// A button's tooltip made only when it is about to show, and made again while it shows as the
// texts it comes from change: the names a batch would give cost a look at the folder.
class ToolTipOnDemand : public QObject
{
public:
    ToolTipOnDemand(QPushButton *button, std::function<QString()> make)
        : QObject(button)
        , m_button(button)
        , m_make(std::move(make))
    {
        button->installEventFilter(this);
    }

    // The texts the tooltip comes from have changed.
    void changed()
    {
        if (QToolTip::isVisible() && m_button->underMouse()) {
            const QString text = m_make();
            m_button->setToolTip(text);
            QToolTip::showText(QCursor::pos(), text, m_button);
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_button && event->type() == QEvent::ToolTip)
            m_button->setToolTip(m_make());
        return false;
    }

private:
    QPushButton *m_button;
    std::function<QString()> m_make;
};
