#pragma once

#include <QString>

class QWidget;

// Button sets and answers as the program has always numbered them.
namespace MsgButtons {
constexpr int Ok = 0;
constexpr int OkCancel = 1;
}
namespace MsgAnswer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
}

// The application title, shown by every message box that has no title of its own.
QString applicationTitle();

// A file name as a message shows it: a name made only of blanks stands in 「」, so that the user
// sees which file is meant; any other name as it is.
QString shownName(const QString &name);

// Every message the program shows passes through here, so that tests can read and answer them.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // Shows a modal box without icon and returns MsgAnswer::Ok or MsgAnswer::Cancel. Detailed
    // text, when given, waits behind the box's own details button.
    virtual int show(const QString &prompt, int buttons, const QString &title = QString(),
                     const QString &details = QString()) = 0;
};

class QtMessageBoxes : public MessageBoxes
{
public:
    int show(const QString &prompt, int buttons, const QString &title = QString(),
             const QString &details = QString()) override;
};
