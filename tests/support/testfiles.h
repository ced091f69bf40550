#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Writes a whole file; a file that cannot be written fails the running test.
void writeFile(const QString &path, const QByteArray &content);
// A whole file's bytes, or nothing when it cannot be read.
QByteArray readFile(const QString &path);

// Everything a folder holds, hidden entries included: file contents by name, subfolders marked
// "<folder>". Two snapshots compare equal exactly when no file was lost, added, renamed or changed.
using Snapshot = QMap<QString, QByteArray>;

Snapshot snapshot(const QString &folder);

// Removes everything inside a folder, whatever bytes the names hold (QTemporaryDir cannot remove
// names that are not UTF-8).
void clearFolder(const QString &folder);
