#pragma once

#include <QProcess>
#include <QString>

// A FUSE mount of tests/support/lookalikefs over a backing folder, acting as an NFS share ("nfs")
// or a FAT memory card ("fat"). Unmounted when it goes.
class LookalikeMount
{
public:
    LookalikeMount(const QString &mode, const QString &backing, const QString &mountPoint);
    ~LookalikeMount();
    LookalikeMount(const LookalikeMount &) = delete;
    LookalikeMount &operator=(const LookalikeMount &) = delete;

    // Empty when the machine can mount one, else why not (for the skip message).
    static QString unusableReason();

    // False, with the reason, when the mount did not come up.
    bool mount(QString *why);
    // Unplugs it: a later mount() is a new mount, with new inode numbers on "fat".
    void unmount();

private:
    bool mounted() const;

    QString m_mode;
    QString m_backing;
    QString m_mountPoint;
    QProcess m_process;
};
