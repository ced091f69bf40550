#include "dialogs/startnumber.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

// An input method in full-width mode gives "１２", "－" and "．".
QString halfWidth(const QString &text)
{
    QString result = text;
    for (QChar &ch : result) {
        const char16_t code = ch.unicode();
        if (code >= u'０' && code <= u'９')
            ch = QChar(u'0' + (code - u'０'));
        else if (code == u'＋')
            ch = QLatin1Char('+');
        else if (code == u'－')
            ch = QLatin1Char('-');
        else if (code == u'．')
            ch = QLatin1Char('.');
    }
    return result;
}

double roundHalfToEven(double number)
{
    double whole = std::floor(number);
    const double fraction = number - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return whole;
}

} // namespace

StartNumber readStartNumber(const QString &text)
{
    static const QRegularExpression plainDecimal(QStringLiteral("^[+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)$"));
    const QString decimal = halfWidth(text).trimmed();
    if (!plainDecimal.match(decimal).hasMatch())
        return {};

    bool ok = false;
    const double number = decimal.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return {};
    const double rounded = roundHalfToEven(number);
    if (rounded < std::numeric_limits<qint32>::min() || rounded > std::numeric_limits<qint32>::max())
        return {};
    // "001" asks for three digits; a lone "0" or "1" asks for none.
    const QString digits = decimal.section(QLatin1Char('.'), 0, 0).remove(QLatin1Char('+')).remove(QLatin1Char('-'));
    const int width = digits.size() > 1 && digits.startsWith(QLatin1Char('0')) ? int(digits.size()) : 0;
    return {true, number < 0, static_cast<qint32>(rounded), width};
}
