#include "main/namesplit.h"

qsizetype extensionDot(QStringView fileName)
{
    return fileName.size() < 2 ? -1 : fileName.lastIndexOf(QLatin1Char('.'), fileName.size() - 2);
}

SplitName splitName(const QString &fileName)
{
    const qsizetype dot = extensionDot(fileName);
    if (dot < 0)
        return {fileName, QString(), false};
    return {fileName.left(dot), fileName.mid(dot + 1), true};
}

QString joinName(const QString &name, const QString &extension)
{
    if (extension.isEmpty())
        return name;
    return name + QLatin1Char('.') + extension;
}
