#pragma once

#include <QChar>
#include <QString>

// The name with every occurrence of the character removed, extension included. The match is
// exact: a full-width space or low line is another character and stays.
QString removeAll(const QString &name, QChar ch);
