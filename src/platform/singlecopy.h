#pragma once

#include <QLockFile>
#include <QString>

// Keeps a second copy of the program from starting. The lock lies in the program folder, beside
// the work folder and the batch journal it guards, so that two copies sharing that folder never
// run at once whatever their environment; a lock left by a copy that crashed is recognised as
// stale (its process is gone) and taken over.
class SingleCopyLock
{
public:
    explicit SingleCopyLock(const QString &lockPath);

    // True when this copy now holds the lock, false when another running copy does.
    bool acquire();

private:
    QLockFile m_lock;
};

// The lock of the copies that share a program folder. Hidden, so that a batch in the program
// folder never lists it.
QString singleCopyLockPathOf(const QString &programFolder);
