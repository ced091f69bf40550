#pragma once

#include <QString>
#include <QTemporaryDir>

// A real filesystem mounted from an image file in a temporary folder (or, for "sshfs" and "smb", a
// folder shared by a localhost sshd or smbd) through tests/support/realmount.sh: "exfat", "ntfs"
// (windows_names), "fat", "sshfs" or "smb". Unmounted and removed when it goes.
class RealMount
{
public:
    explicit RealMount(const QString &kind);
    ~RealMount();
    RealMount(const RealMount &) = delete;
    RealMount &operator=(const RealMount &) = delete;

    // 0 once mounted, Unusable where the machine cannot mount it (no FUSE, a tool missing, not
    // root: skip), anything else when the mount failed; `why` says why.
    static constexpr int Unusable = 77;
    int mount(QString *why);
    // Unplugs it; a later mount() brings the same image back, as a card put in again.
    void unmount();
    QString path() const { return m_folder.path() + QStringLiteral("/mnt"); }
    // The image file of the filesystems mounted from one: copied or swapped while unplugged.
    QString image() const { return m_folder.path() + QStringLiteral("/image"); }

private:
    int run(const QString &action, QString *output);

    QString m_kind;
    QTemporaryDir m_folder;
};
