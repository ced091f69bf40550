#include "support/foldersnapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

Snapshot snapshot(const QString &folder)
{
    Snapshot result;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir()) {
            result.insert(entry.fileName(), "<folder>");
            continue;
        }
        QFile file(entry.filePath());
        result.insert(entry.fileName(), file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
    }
    return result;
}
