#include "platform/filesystem.h"
#include "platform/systemreason.h"

#include "platform/filename.h"
#include "platform/safemove.h"


#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

class OpenFolderPair : public FolderPair
{
public:
    OpenFolderPair(int first, int second, int openError) : m_dirs{first, second}, m_openError(openError) {}
    ~OpenFolderPair() override
    {
        for (const int dir : m_dirs) {
            if (dir >= 0)
                ::close(dir);
        }
    }

    FsResult opened() const override { return m_openError == 0 ? FsResult::success() : FsResult::failure(m_openError); }
    FileStamp stamp(Side side, const QString &name) override;
    FsResult move(Side from, const QString &name, Side to, const QString &newName, const FileStamp *seen) override
    {
        if (m_openError != 0)
            return FsResult::failure(m_openError);
        const FileIdentity known{dev_t(seen ? seen->id.device : 0), ino_t(seen ? seen->id.inode : 0)};
        writeBytesOfName(name, m_name);
        writeBytesOfName(newName, m_newName);
        const int error = safeMoveAt(m_dirs[from], m_name, m_dirs[to], m_newName, seen ? &known : nullptr);
        return error == 0 ? FsResult::success() : FsResult::failure(error);
    }

private:
    int m_dirs[2];
    int m_openError;
    QByteArray m_lookedName;
    QByteArray m_name;
    QByteArray m_newName;
};

} // namespace

std::unique_ptr<FolderPair> LinuxFileSystem::openFolderPair(const QString &first, const QString &second)
{
    const int firstDir = ::open(native(first).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int openError = firstDir < 0 ? errno : 0;
    const int secondDir = firstDir < 0 ? -1 : ::open(native(second).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (openError == 0 && secondDir < 0)
        openError = errno;
    return std::make_unique<OpenFolderPair>(firstDir, secondDir, openError);
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

FsResult LinuxFileSystem::removeExtraName(const QString &extra, const QString &kept, SecondName sure)
{
    const int error = removeExtraLink(native(extra), native(kept), sure);
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

FsResult readFolderEntries(const QString &folder, bool followLinks,
                           const std::function<void(QByteArrayView name, EntryKind kind)> &take)
{
    DIR *dir = ::opendir(native(folder).constData());
    if (!dir)
        return FsResult::failure(errno);
    const int fd = ::dirfd(dir);
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        // Most filesystems tell an entry's type with its name; the others are looked at.
        unsigned char type = entry->d_type;
        struct stat st;
        if (type == DT_UNKNOWN || (followLinks && type == DT_LNK)) {
            if (::fstatat(fd, name, &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
                type = DT_UNKNOWN;
            else
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
        }
        take(QByteArrayView(name, qsizetype(std::strlen(name))),
             type == DT_DIR ? EntryKind::Folder : type == DT_REG ? EntryKind::File : EntryKind::Other);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    return error == 0 ? FsResult::success() : FsResult::failure(error);
}

FsResult LinuxFileSystem::readFolder(const QString &folder, const std::function<void(const QString &name, EntryKind kind)> &take)
{
    return readFolderEntries(folder, false, [&take](QByteArrayView name, EntryKind kind) { take(nameFromBytes(name), kind); });
}

QStringList FileSystem::entryNames(const QString &folder, FsResult *result)
{
    QStringList names;
    const FsResult read = readFolder(folder, [&names](const QString &name, EntryKind) { names.append(name); });
    if (result)
        *result = read;
    return names;
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
    if (m_openError != 0 || ::fstatat(m_dirs[side], m_lookedName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return {};
    return stampOf(st);
}

QList<FileStamp> FileSystem::fileStamps(const QString &folder, const QStringList &names, FsResult *result)
{
    const std::unique_ptr<FolderPair> open = openFolderPair(folder, folder);
    if (result)
        *result = open->opened();
    QList<FileStamp> stamps;
    stamps.reserve(names.size());
    for (const QString &name : names)
        stamps.append(open->stamp(FolderPair::First, name));
    return stamps;
}

QHash<QString, FileId> FileSystem::entryIds(const QString &folder, FsResult *result)
{
    const QStringList names = entryNames(folder, result);
    const QList<FileStamp> stamps = fileStamps(folder, names);
    QHash<QString, FileId> ids;
    ids.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (stamps.at(i).id.valid())
            ids.insert(names.at(i), stamps.at(i).id);
    }
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

NameRules LinuxFileSystem::nameRules(const QString &folder)
{
    const QByteArray path = native(folder);
    if (const std::optional<NameRules> known = knownNameRules(path))
        return *known;
    struct statx st;
    if (::statx(AT_FDCWD, path.constData(), 0, STATX_MNT_ID, &st) != 0 || !(st.stx_mask & STATX_MNT_ID))
        return {};
    const std::pair<quint64, quint64> mount(st.stx_mnt_id, makedev(st.stx_dev_major, st.stx_dev_minor));
    const auto probed = m_probedRules.constFind(mount);
    if (probed != m_probedRules.cend())
        return probed.value();
    NameRules rules;
    if (probeNameRules(path, rules) != 0)
        return {};
    m_probedRules.insert(mount, rules);
    return rules;
}

bool LinuxFileSystem::ignoresCase(const QString &folder)
{
    // A card or a share answers by its rules: its FUSE driver may give each spelling of a name
    // its own inode number, which the look below would take for two files.
    const NameRules rules = nameRules(folder);
    if (rules.caseInsensitive || refusesMoreThanLinux(rules))
        return rules.caseInsensitive;
    // On a Linux filesystem (a folder may fold case there too), the first entry with a letter
    // answers without writing; only a folder without one gets a probe file, made and removed at once.
    const int folderFd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return false;
    int answer = -1;
    if (DIR *dir = ::fdopendir(::dup(folderFd))) {
        while (answer < 0) {
            const dirent *entry = ::readdir(dir);
            if (!entry)
                break;
            const QByteArray name(entry->d_name);
            if (swappedCase(name) != name)
                answer = sameUnderOtherCase(folderFd, name);
        }
        ::closedir(dir);
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
