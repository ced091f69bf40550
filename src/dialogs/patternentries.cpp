#include "dialogs/patternentries.h"

namespace {

const QString allFiles = QStringLiteral("*.*");
const QString allEntry = QStringLiteral("ALL");

} // namespace

QStringList parsePatternEntries(const QString &pattern)
{
    QStringList entries;
    QString rest = pattern.mid(2);
    for (qsizetype separator = rest.indexOf(QLatin1Char(';')); separator >= 0;
         separator = rest.indexOf(QLatin1Char(';'))) {
        entries.append(rest.left(separator));
        // The entry, the ";" and the "*." of the next piece; a cut pattern may end before them.
        rest = rest.mid(separator + 3);
    }
    entries.append(rest == QLatin1String("*") ? allEntry : rest);

    // Empty entries come only from patterns the dialog never writes (a trailing ";", a piece
    // shorter than "*."); saved again they would become "*." pieces that match almost nothing.
    entries.removeAll(QString());
    // An empty pattern shows every file, so it lists as "*.*" does and the first registration
    // replaces it.
    if (entries.isEmpty())
        entries.append(allEntry);
    return entries;
}

QString joinPatternEntries(const QStringList &entries)
{
    // An empty list would leave an empty pattern; every file is what it stands for.
    if (entries.isEmpty())
        return allFiles;
    QStringList pieces;
    pieces.reserve(entries.size());
    for (const QString &entry : entries)
        pieces.append(QStringLiteral("*.") + entry);
    if (entries.first().isEmpty() || entries.first() == allEntry)
        pieces.first() = allFiles;
    return pieces.join(QLatin1Char(';'));
}
