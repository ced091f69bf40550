#include "platform/singlecopy.h"

#include "platform/filesystem.h"

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

QString singleCopyLockPathOf(const QString &programFolder)
{
    return joinPath(programFolder, QStringLiteral(".xxxxxxx.lock"));
}
