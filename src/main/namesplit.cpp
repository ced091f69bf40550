#include "main/namesplit.h"

SplitName splitName(const QString &fileName)
{
    const qsizetype length = fileName.size();
    for (qsizetype position = length - 2; position >= 0; --position) {
        if (fileName.at(position) == QLatin1Char('.'))
            return {fileName.left(position), fileName.mid(position + 1), true};
    }
    return {fileName, QString(), false};
}

QString joinName(const QString &name, const QString &extension)
{
    if (extension.isEmpty())
        return name;
    return name + QLatin1Char('.') + extension;
}
