#pragma once

#include <QString>
#include <QStringList>

// The display filter dialog lists a pattern such as "*.txt;*.jpg" as one entry per extension.
// "ALL" stands for all files when it is the first entry; "*" always does.

// The entries that a pattern is shown as. Every piece loses its first two characters (the "*.");
// a last piece "*.*" becomes "ALL". Whatever a hand-edited or cut pattern holds, the result
// has no empty entry and never is empty: a pattern that names nothing lists as "ALL".
QStringList parsePatternEntries(const QString &pattern);

// The pattern that the entries stand for: "*." before each entry, joined by ";". A first entry
// "ALL" (or empty) becomes "*.*", and so does an empty list.
QString joinPatternEntries(const QStringList &entries);
