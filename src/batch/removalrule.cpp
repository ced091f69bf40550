#include "batch/removalrule.h"

QString removeAll(const QString &name, QChar ch)
{
    QString result = name;
    result.remove(ch, Qt::CaseSensitive);
    return result;
}
