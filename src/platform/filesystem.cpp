#include "platform/filesystem.h"
#include "platform/systemreason.h"

#include "platform/filename.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString &path)
{
    return bytesOfName(path);
}

// The last step of the fallback chain, for filesystems that neither take RENAME_NOREPLACE nor
// hard links (FAT): look, then rename. A file that appears in between could still be replaced,
// which such filesystems give us no way to prevent.
FsResult checkThenRename(const QByteArray &from, const QByteArray &to)
{
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return FsResult::failure(EEXIST);
    if (::rename(from.constData(), to.constData()) != 0)
        return FsResult::failure(errno);
    return FsResult::success();
}

FsResult linkThenUnlink(const QByteArray &from, const QByteArray &to)
{
    if (::linkat(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 0) != 0) {
        const int error = errno;
        if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK)
            return checkThenRename(from, to);
        return FsResult::failure(error);
    }
    if (::unlink(from.constData()) != 0) {
        const int error = errno;
        ::unlink(to.constData());
        return FsResult::failure(error);
    }
    return FsResult::success();
}

} // namespace

QString FsResult::reason() const
{
    if (!detail.isEmpty())
        return detail;
    return systemReason(error);
}

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

FsResult LinuxFileSystem::move(const QString &from, const QString &to)
{
    const QByteArray source = native(from);
    const QByteArray target = native(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return FsResult::success();
    const int error = errno;
    if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP)
        return linkThenUnlink(source, target);
    return FsResult::failure(error);
}

FsResult LinuxFileSystem::makeFolder(const QString &path)
{
    if (::mkdir(native(path).constData(), 0777) != 0)
        return FsResult::failure(errno);
    return FsResult::success();
}

FsResult LinuxFileSystem::removeFolder(const QString &path)
{
    if (::rmdir(native(path).constData()) != 0)
        return FsResult::failure(errno);
    return FsResult::success();
}

QStringList LinuxFileSystem::entryNames(const QString &folder, FsResult *result)
{
    QStringList names;
    DIR *dir = ::opendir(native(folder).constData());
    if (!dir) {
        if (result)
            *result = FsResult::failure(errno);
        return names;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        names.append(nameFromBytes(name));
    }
    ::closedir(dir);
    if (result)
        *result = FsResult::success();
    return names;
}

bool LinuxFileSystem::exists(const QString &path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0;
}

FileId LinuxFileSystem::fileId(const QString &path)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0)
        return {};
    return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

namespace {

FileStamp stampOf(const struct stat &st)
{
    return {{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)},
            static_cast<qint64>(st.st_size),
            static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace

FileStamp FileSystem::fileStamp(const QString &path)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0)
        return {};
    return stampOf(st);
}

QList<FileStamp> FileSystem::fileStamps(const QString &folder, const QStringList &names)
{
    QList<FileStamp> stamps;
    stamps.reserve(names.size());
    for (const QString &name : names)
        stamps.append(fileStamp(joinPath(folder, name)));
    return stamps;
}

// Looked up from the open folder: tens of thousands of names need not walk the path each time.
QList<FileStamp> LinuxFileSystem::fileStamps(const QString &folder, const QStringList &names)
{
    const int dir = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return QList<FileStamp>(names.size());
    QList<FileStamp> stamps;
    stamps.reserve(names.size());
    struct stat st;
    for (const QString &name : names)
        stamps.append(::fstatat(dir, native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? stampOf(st) : FileStamp());
    ::close(dir);
    return stamps;
}

QHash<QString, FileId> FileSystem::entryIds(const QString &folder, FsResult *result)
{
    QHash<QString, FileId> ids;
    const QStringList names = entryNames(folder, result);
    ids.reserve(names.size());
    for (const QString &name : names) {
        const FileId id = fileId(joinPath(folder, name));
        if (id.valid())
            ids.insert(name, id);
    }
    return ids;
}

QHash<QString, FileId> LinuxFileSystem::entryIds(const QString &folder, FsResult *result)
{
    QHash<QString, FileId> ids;
    DIR *dir = ::opendir(native(folder).constData());
    struct stat st;
    if (!dir || ::fstat(::dirfd(dir), &st) != 0) {
        if (result)
            *result = FsResult::failure(errno);
        if (dir)
            ::closedir(dir);
        return ids;
    }
    const auto device = static_cast<quint64>(st.st_dev);
    QStringList names;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        names.append(nameFromBytes(name));
        ids.insert(names.last(), {device, static_cast<quint64>(entry->d_ino)});
    }
    // The listing's numbers are the files' own on the usual filesystems but not on every one
    // (overlays, some FUSE mounts): two files checked decide whether to trust them.
    auto statOf = [&](const QString &name) -> FileId {
        if (::fstatat(::dirfd(dir), native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return {};
        return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
    };
    if (!names.isEmpty() && (statOf(names.first()) != ids.value(names.first()) || statOf(names.last()) != ids.value(names.last()))) {
        for (const QString &name : std::as_const(names)) {
            const FileId id = statOf(name);
            if (id.valid())
                ids.insert(name, id);
            else
                ids.remove(name);
        }
    }
    ::closedir(dir);
    if (result)
        *result = FsResult::success();
    return ids;
}

bool LinuxFileSystem::sameFilesystem(const QString &folderA, const QString &folderB)
{
    // A bind mount of one device is still another mount, and rename() refuses to cross it:
    // compare mount ids where the kernel gives them, devices otherwise.
    struct statx a;
    struct statx b;
    const unsigned mask = STATX_MNT_ID | STATX_INO;
    if (::statx(AT_FDCWD, native(folderA).constData(), 0, mask, &a) != 0
        || ::statx(AT_FDCWD, native(folderB).constData(), 0, mask, &b) != 0)
        return false;
    if ((a.stx_mask & STATX_MNT_ID) && (b.stx_mask & STATX_MNT_ID))
        return a.stx_mnt_id == b.stx_mnt_id;
    return a.stx_dev_major == b.stx_dev_major && a.stx_dev_minor == b.stx_dev_minor;
}

int LinuxFileSystem::maxNameLength(const QString &folder)
{
    const long length = ::pathconf(native(folder).constData(), _PC_NAME_MAX);
    return length > 0 ? static_cast<int>(length) : 255;
}
