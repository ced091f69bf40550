#include "platform/singlecopy.h"

#include <QDir>
#include <QStandardPaths>

SingleCopyLock::SingleCopyLock(const QString &lockPath)
    : m_lock(lockPath)
{
    // Staleness is decided by the owner's process alone, never by the lock's age: a copy may run for days.
    m_lock.setStaleLockTime(0);
}

bool SingleCopyLock::acquire()
{
    return m_lock.tryLock(0);
}

QString SingleCopyLock::defaultLockPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder + QStringLiteral("/mivot.lock");
}
