#pragma once

#include "platform/messagebox.h"

#include <QList>
#include <QString>

// Answers message boxes from a script and records every box shown.
class ScriptedMessages : public MessageBoxes
{
public:
    struct Shown
    {
        QString prompt;
        int buttons;
        QString title;
        QString details;
    };

    int show(const QString &prompt, int buttons, const QString &title = QString(),
             const QString &details = QString()) override;

    // Answers to give, in order; when the script runs out, every box is answered with OK.
    void answer(std::initializer_list<int> answers) { m_answers.append(QList<int>(answers)); }
    const QList<Shown> &shown() const { return m_shown; }
    QString lastPrompt() const { return m_shown.isEmpty() ? QString() : m_shown.last().prompt; }
    void clear() { m_shown.clear(); m_answers.clear(); }

private:
    QList<int> m_answers;
    QList<Shown> m_shown;
};
