#include "platform/messagebox.h"

#include "platform/filename.h"

QString applicationTitle()
{
    return QStringLiteral("Ｍｉｖｏｔ");
}

QString shownName(const QString &name)
{
    const QString shown = displayName(name);
    if (!shown.isEmpty() && shown.trimmed().isEmpty())
        return QStringLiteral("「%1」").arg(shown);
    return shown;
}
