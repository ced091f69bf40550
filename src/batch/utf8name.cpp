#include "batch/utf8name.h"

#include "batch/batchmessage.h"
#include "platform/filename.h"
#include "platform/messagebox.h"

NewName utf8Name(int, const QString &text)
{
    // The batch hands a rule the characters of a CP932 name and the very bytes of any other.
    return NewName::exactly(text);
}

Utf8Conversion utf8ConversionOf(const QStringList &listing)
{
    Utf8Conversion found;
    for (const QString &name : listing) {
        if (!hasEscapedBytes(name))
            continue;
        if (FileName::fromName(name).encoding() == NameEncoding::Cp932)
            ++found.toConvert;
        else
            found.unexplained.append(name);
    }
    return found;
}

QString utf8ConversionHead(int toConvert)
{
    return QStringLiteral("CP932 の名前 %1 個を、同じ文字のまま UTF-8 の名前に書き換えます（表示される名前は変わりません）。")
        .arg(toConvert);
}

QString unexplainedNamesText(const QStringList &names)
{
    if (names.isEmpty())
        return QString();
    QStringList lines;
    lines.reserve(names.size());
    for (const QString &name : names)
        lines.append(QStringLiteral("・%1").arg(shownName(name)));
    return QStringLiteral("次の %1 個の名前は UTF-8 でも CP932 でもなく、元の文字が分からないため、そのままにします"
                          "（\\xHH は、どの文字コードでも文字にならないバイトです）。\n")
               .arg(names.size())
        + firstLines(lines);
}
