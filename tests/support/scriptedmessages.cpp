#include "support/scriptedmessages.h"

int ScriptedMessages::show(const QString &prompt, int buttons, const QString &title, const QString &details)
{
    m_shown.append({prompt, buttons, title.isEmpty() ? applicationTitle() : title, details});
    if (m_answers.isEmpty())
        return MsgAnswer::Ok;
    return m_answers.takeFirst();
}
