#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Everything a folder holds, hidden entries included: file contents by name, subfolders marked
// "<folder>". Two snapshots compare equal exactly when no file was lost, added, renamed or changed.
using Snapshot = QMap<QString, QByteArray>;

Snapshot snapshot(const QString &folder);
