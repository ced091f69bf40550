#include "batch/serialname.h"

#include "main/namesplit.h"

#include <limits>

std::optional<qint32> serialNumber(qint32 start, int index)
{
    // Summed in 64 bits: the 32-bit sum would wrap round to negative numbers.
    const qint64 number = qint64(start) + index;
    if (number > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(number);
}

QString serialName(const QString &prefix, qint32 number, const QString &oldName, int width)
{
    const qint64 wide = number;
    QString digits = QString::number(wide < 0 ? -wide : wide).rightJustified(width, QLatin1Char('0'));
    if (wide < 0)
        digits.prepend(QLatin1Char('-'));
    return joinName(prefix + digits, splitName(oldName).extension);
}

QString unifiedName(const QString &oldName, const QString &extension)
{
    return joinName(splitName(oldName).name, extension);
}

NameRule serialNameRule(const QString &prefix, qint32 start, int width)
{
    return [prefix, start, width](int index, const QString &oldName) {
        const std::optional<qint32> number = serialNumber(start, index);
        if (!number) {
            return NewName::refused(QStringLiteral("連番 %1 は上限の 2147483647 を超えます").arg(qint64(start) + index));
        }
        return NewName::of(serialName(prefix, *number, oldName, width));
    };
}

NameRule unifiedNameRule(const QString &extension)
{
    return [extension](int, const QString &oldName) { return NewName::of(unifiedName(oldName, extension)); };
}
