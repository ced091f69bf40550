#include "main/drivelist.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSignalBlocker>
#include <QStorageInfo>

namespace {

// Filesystems of the kernel's own that hold no user files.
bool isPseudoFilesystem(const QByteArray &type)
{
    static const QSet<QByteArray> pseudo = {
        "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "securityfs", "pstore",
        "debugfs", "tracefs", "mqueue", "bpf", "configfs", "fusectl", "hugetlbfs", "autofs",
        "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "selinuxfs", "ramfs"};
    return pseudo.contains(type);
}

} // namespace

DriveList::DriveList(QWidget *parent)
    : QComboBox(parent)
{
    fill(QStorageInfo(QDir::currentPath()).rootPath());
    connect(this, &QComboBox::activated, this, [this] { emit changedByUser(); });
}

QString DriveList::drive() const
{
    return currentData().toString();
}

void DriveList::chooseDrive(const QString &root)
{
    if (findData(root) < 0)
        addItem(root, root);
    setCurrentIndex(findData(root));
}

void DriveList::refill()
{
    const QString chosen = drive();
    const QSignalBlocker blocker(this);
    clear();
    fill(chosen);
}

void DriveList::showPopup()
{
    refill();
    // The popup is a window of its own, which the style gives the desktop theme's colours and
    // font: it keeps the list's.
    QWidget *popup = view()->window();
    popup->setAttribute(Qt::WA_WindowPropagation);
    QComboBox::showPopup();
    QPalette own = palette();
    own.setResolveMask(~QPalette::ResolveMask(0));
    popup->setPalette(own);
    view()->setPalette(own);
}

void DriveList::fill(const QString &current)
{
    QStringList seen;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (!volume.isValid() || !volume.isReady() || isPseudoFilesystem(volume.fileSystemType())
            || !QFileInfo(root).isReadable() || seen.contains(root))
            continue;
        seen.append(root);
        const QString label = volume.displayName() == root ? QString() : volume.displayName();
        addItem(label.isEmpty() ? root : root + QStringLiteral(" [") + label + QLatin1Char(']'), root);
    }
    chooseDrive(current);
}
