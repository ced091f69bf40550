#pragma once

#include <QLockFile>
#include <QString>

// Keeps a second copy of the program from starting. The lock belongs to the user; a lock left by
// a copy that crashed is recognised as stale (its process is gone) and taken over.
class SingleCopyLock
{
public:
    explicit SingleCopyLock(const QString &lockPath = defaultLockPath());

    // True when this copy now holds the lock, false when another running copy does.
    bool acquire();

    static QString defaultLockPath();

private:
    QLockFile m_lock;
};
