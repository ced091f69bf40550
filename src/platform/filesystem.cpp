#include "platform/filesystem.h"
#include "platform/systemreason.h"

#include "platform/filename.h"
#include "platform/safemove.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <thread>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

QByteArray native(const QString &path)
{
    return bytesOfName(path);
}

// The name with every ASCII letter in the other case; the name itself when it has none. Only
// ASCII letters: every case-insensitive filesystem folds those alike.
QByteArray swappedCase(const QByteArray &name)
{
    QByteArray swapped = name;
    for (char &c : swapped) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return swapped;
}

// Whether the other spelling of an existing name leads to the same file: 1 yes, 0 no (nothing, or
// another file, stands there), -1 when it cannot tell (two names of one file may be two links).
int sameUnderOtherCase(int folderFd, const QByteArray &name)
{
    struct stat own;
    struct stat other;
    if (::fstatat(folderFd, name.constData(), &own, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    if (::fstatat(folderFd, swappedCase(name).constData(), &other, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : -1;
    if (own.st_dev != other.st_dev || own.st_ino != other.st_ino)
        return 0;
    return own.st_nlink == 1 || S_ISDIR(own.st_mode) ? 1 : -1;
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

namespace {

class PathFolderPair : public FolderPair
{
public:
    PathFolderPair(FileSystem &fileSystem, const QString &first, const QString &second)
        : m_fs(fileSystem)
        , m_folders{first, second}
    {
    }

    FileStamp stamp(Side side, const QString &name) override { return m_fs.fileStamp(joinPath(m_folders[side], name)); }
    FsResult move(Side from, const QString &name, Side to, const QString &newName, const FileStamp *) override
    {
        return m_fs.move(joinPath(m_folders[from], name), joinPath(m_folders[to], newName));
    }

private:
    FileSystem &m_fs;
    QString m_folders[2];
};

class OpenFolderPair : public FolderPair
{
public:
    OpenFolderPair(int first, int second) : m_dirs{first, second} {}
    ~OpenFolderPair() override
    {
        ::close(m_dirs[First]);
        ::close(m_dirs[Second]);
    }

    FileStamp stamp(Side side, const QString &name) override;
    FsResult move(Side from, const QString &name, Side to, const QString &newName, const FileStamp *seen) override
    {
        const FileIdentity known{dev_t(seen ? seen->id.device : 0), ino_t(seen ? seen->id.inode : 0)};
        writeBytesOfName(name, m_name);
        writeBytesOfName(newName, m_newName);
        const int error = safeMoveAt(m_dirs[from], m_name, m_dirs[to], m_newName, seen ? &known : nullptr);
        return error == 0 ? FsResult::success() : FsResult::failure(error);
    }

private:
    int m_dirs[2];
    // A look and a move each have their own bytes: they may run on two threads at once.
    QByteArray m_lookedName;
    QByteArray m_name;
    QByteArray m_newName;
};

} // namespace

std::unique_ptr<FolderPair> FileSystem::openFolderPair(const QString &first, const QString &second)
{
    return std::make_unique<PathFolderPair>(*this, first, second);
}

std::unique_ptr<FolderPair> LinuxFileSystem::openFolderPair(const QString &first, const QString &second)
{
    const int firstDir = ::open(native(first).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int secondDir = firstDir < 0 ? -1 : ::open(native(second).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (secondDir < 0) {
        // The moves then fail one by one with the system's reason, as they would by path.
        if (firstDir >= 0)
            ::close(firstDir);
        return FileSystem::openFolderPair(first, second);
    }
    return std::make_unique<OpenFolderPair>(firstDir, secondDir);
}

FsResult LinuxFileSystem::move(const QString &from, const QString &to)
{
    const int error = safeMove(native(from), native(to));
    return error == 0 ? FsResult::success() : FsResult::failure(error);
}

FsResult LinuxFileSystem::removeEmptyClaim(const QString &path)
{
    const int error = ::removeEmptyClaim(native(path));
    return error == 0 ? FsResult::success() : FsResult::failure(error);
}

FsResult LinuxFileSystem::removeExtraName(const QString &extra, const QString &kept)
{
    const int error = removeExtraLink(native(extra), native(kept));
    return error == 0 ? FsResult::success() : FsResult::failure(error);
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
    const FsResult read = forEachEntry(folder, [&names](const QString &name) { names.append(name); });
    if (result)
        *result = read;
    return names;
}

FsResult FileSystem::forEachEntry(const QString &folder, const std::function<void(const QString &name)> &take)
{
    FsResult read;
    const QStringList names = entryNames(folder, &read);
    for (const QString &name : names)
        take(name);
    return read;
}

FsResult FileSystem::forEachEntryKind(const QString &folder, const std::function<void(const QString &name, bool isFolder)> &take)
{
    return forEachEntry(folder, [&](const QString &name) { take(name, fileStamp(joinPath(folder, name)).type == S_IFDIR); });
}

FsResult FileSystem::surveyFolder(const QString &folder, FolderSurvey &survey)
{
    survey = FolderSurvey();
    return forEachEntry(folder, [&survey](const QString &name) {
        if (name.startsWith(QLatin1Char('.')))
            survey.unlistable.append(name);
        else
            ++survey.others;
    });
}

namespace {

// Hands every entry of a folder but "." and ".." to `take`, as readdir gives it, with the
// folder's descriptor.
template<typename Take>
FsResult readEntries(const QString &folder, Take take)
{
    DIR *dir = ::opendir(native(folder).constData());
    if (!dir)
        return FsResult::failure(errno);
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            take(*entry, fd);
    }
    ::closedir(dir);
    return FsResult::success();
}

} // namespace

// The others are only counted: tens of thousands of names need no conversion.
FsResult LinuxFileSystem::surveyFolder(const QString &folder, FolderSurvey &survey)
{
    survey = FolderSurvey();
    return readEntries(folder, [&survey](const dirent &entry, int) {
        if (entry.d_name[0] == '.' || entry.d_type == DT_DIR)
            survey.unlistable.append(nameFromBytes(entry.d_name));
        else
            ++survey.others;
    });
}

FsResult LinuxFileSystem::forEachEntry(const QString &folder, const std::function<void(const QString &name)> &take)
{
    return readEntries(folder, [&take](const dirent &entry, int) { take(nameFromBytes(entry.d_name)); });
}

// Most filesystems tell an entry's type with its name; the others are looked at.
FsResult LinuxFileSystem::forEachEntryKind(const QString &folder, const std::function<void(const QString &name, bool isFolder)> &take)
{
    return readEntries(folder, [&take](const dirent &entry, int dir) {
        bool isFolder = entry.d_type == DT_DIR;
        struct stat st;
        if (entry.d_type == DT_UNKNOWN && ::fstatat(dir, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            isFolder = S_ISDIR(st.st_mode);
        take(nameFromBytes(entry.d_name), isFolder);
    });
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
    return {{quint64(st.st_dev), quint64(st.st_ino)}, quint32(st.st_mode & S_IFMT), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace

FileStamp OpenFolderPair::stamp(Side side, const QString &name)
{
    struct stat st;
    writeBytesOfName(name, m_lookedName);
    if (::fstatat(m_dirs[side], m_lookedName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return {};
    return stampOf(st);
}

QList<FileStamp> FileSystem::fileStamps(const QString &folder, const QStringList &names, const std::function<void()> &meanwhile)
{
    if (meanwhile)
        meanwhile();
    QList<FileStamp> stamps;
    stamps.reserve(names.size());
    for (const QString &name : names)
        stamps.append(fileStamp(joinPath(folder, name)));
    return stamps;
}

// Looked up from the open folder: tens of thousands of names need not walk the path each time.
// A second thread takes stamps from the start, and this one joins it once `meanwhile` is done:
// the looks wait on the kernel, not on each other, and both take the next names to look at.
QList<FileStamp> LinuxFileSystem::fileStamps(const QString &folder, const QStringList &names,
                                             const std::function<void()> &meanwhile)
{
    const int dir = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QList<FileStamp> stamps(names.size());
    FileStamp *out = stamps.data();
    constexpr qsizetype Chunk = 64;
    std::atomic<qsizetype> next = 0;
    const auto look = [&] {
        struct stat st;
        QByteArray bytes;
        for (qsizetype from; (from = next.fetch_add(Chunk, std::memory_order_relaxed)) < names.size();) {
            for (qsizetype i = from; i < std::min(from + Chunk, names.size()); ++i) {
                writeBytesOfName(names.at(i), bytes);
                if (::fstatat(dir, bytes.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                    out[i] = stampOf(st);
            }
        }
    };
    if (dir < 0) {
        if (meanwhile)
            meanwhile();
        return stamps;
    }
    // A few names are quicker looked at than a thread is started.
    constexpr qsizetype ShareFrom = 256;
    std::thread helper;
    if (names.size() >= ShareFrom)
        helper = std::thread(look);
    if (meanwhile)
        meanwhile();
    look();
    if (helper.joinable())
        helper.join();
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

bool LinuxFileSystem::ignoresCase(const QString &folder)
{
    // The first entry with a letter answers without writing, as a rule before a thousand others
    // are read; only a folder without one gets a probe file, made and removed at once.
    const int folderFd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return false;
    int answer = -1;
    // A few entries at a time, not the hundreds that readdir() reads at once.
    alignas(dirent64) char entries[2048];
    for (ssize_t read; answer < 0 && (read = ::getdents64(folderFd, entries, sizeof entries)) > 0;) {
        for (ssize_t at = 0; answer < 0 && at < read;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(entries + at);
            at += entry->d_reclen;
            const QByteArray name(entry->d_name);
            if (swappedCase(name) != name)
                answer = sameUnderOtherCase(folderFd, name);
        }
    }
    if (answer < 0) {
        const QByteArray probe = ".mivot-case-probe-" + QByteArray::number(qint64(::getpid()));
        const int fd = ::openat(folderFd, probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            answer = sameUnderOtherCase(folderFd, probe);
            ::unlinkat(folderFd, probe.constData(), 0);
        }
    }
    ::close(folderFd);
    return answer == 1;
}

FileStamp LinuxFileSystem::fileStamp(const QString &path)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0)
        return {};
    return stampOf(st);
}

FilesystemKind LinuxFileSystem::filesystemKind(const QString &folder)
{
    struct statfs st;
    if (::statfs(native(folder).constData(), &st) != 0)
        return {};
    // These hand out inode numbers as they meet files, anew at each mount.
    static constexpr quint64 Renumbering[] = {
        0x4d44,     // FAT
        0x2011bab0, // exFAT
        0x65735546, // FUSE
        0x517b,     // SMB
        0xff534d42, // CIFS
        0xfe534d42, // SMB2
    };
    const auto type = quint64(quint32(st.f_type));
    return {type, std::find(std::begin(Renumbering), std::end(Renumbering), type) == std::end(Renumbering)};
}
