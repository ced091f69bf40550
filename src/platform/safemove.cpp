#include "platform/safemove.h"

#include <QString>

#include <cerrno>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A name in a folder held open, or a whole path with AT_FDCWD.
struct Place
{
    int dir;
    const QByteArray &name;

    int stat(struct stat &st) const { return ::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW); }
};

thread_local std::vector<MoveWatcher *> watchers;

// The whole path of a name in a folder held open, as the system gives the folder's.
QByteArray pathOf(const Place &place)
{
    if (place.dir == AT_FDCWD)
        return place.name;
    char folder[4096];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(place.dir);
    const ssize_t length = ::readlink(link.constData(), folder, sizeof folder);
    if (length <= 0)
        return place.name;
    return QByteArray(folder, length) + '/' + place.name;
}

// Tells every watcher of a step, before (`made` false) or after it.
void tell(MoveWatcher::Step step, const Place &from, const Place &to, bool made)
{
    if (watchers.empty())
        return;
    const QByteArray fromPath = pathOf(from);
    const QByteArray toPath = pathOf(to);
    for (MoveWatcher *watcher : watchers) {
        if (made)
            watcher->made(step, fromPath, toPath);
        else
            watcher->making(step, fromPath, toPath);
    }
}

bool sameBytes(const Place &a, const Place &b)
{
    const int fdA = ::openat(a.dir, a.name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const int fdB = fdA < 0 ? -1 : ::openat(b.dir, b.name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    bool same = fdB >= 0;
    static constexpr size_t Chunk = 64 * 1024;
    std::vector<char> bufA(same ? Chunk : 0);
    std::vector<char> bufB(same ? Chunk : 0);
    while (same) {
        const ssize_t readA = ::read(fdA, bufA.data(), Chunk);
        const ssize_t readB = readA < 0 ? -1 : ::read(fdB, bufB.data(), size_t(readA > 0 ? readA : 1));
        same = readA >= 0 && readA == readB && std::memcmp(bufA.data(), bufB.data(), size_t(readA)) == 0;
        if (readA == 0)
            break;
    }
    if (fdA >= 0)
        ::close(fdA);
    if (fdB >= 0)
        ::close(fdB);
    return same;
}

bool sameFile(const struct stat &st, const FileIdentity &file)
{
    return st.st_dev == file.device && st.st_ino == file.inode;
}

// Whether the place now names the file `source` is: false when it names nothing or another file.
bool holds(const Place &place, const FileIdentity &source)
{
    struct stat now;
    return place.stat(now) == 0 && sameFile(now, source);
}

bool gone(const Place &place)
{
    struct stat now;
    return place.stat(now) != 0 && errno == ENOENT;
}

bool flagRefused(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool linksRefused(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK;
}

// A step that reported an error may still have been done (a lost reply retried by a network
// filesystem answers ENOENT or EEXIST): the disk says which.
int settled(int error, const Place &from, const Place &to, const FileIdentity &source)
{
    if (gone(from) && holds(to, source))
        return 0;
    return error;
}

int removeExtraLinkAt(const Place &extra, const Place &kept, SecondName sure)
{
    struct stat extraStat;
    struct stat keptStat;
    if (extra.stat(extraStat) != 0)
        return errno;
    if (kept.stat(keptStat) != 0)
        return errno;
    const bool link = extraStat.st_dev == keptStat.st_dev && extraStat.st_ino == keptStat.st_ino && extraStat.st_nlink >= 2
        && !S_ISDIR(extraStat.st_mode);
    const bool copy = sure == SecondName::LinkOrSameBytes && extraStat.st_dev == keptStat.st_dev
        && extraStat.st_ino != keptStat.st_ino && S_ISREG(extraStat.st_mode) && S_ISREG(keptStat.st_mode)
        && extraStat.st_nlink == 1 && keptStat.st_nlink == 1 && extraStat.st_size == keptStat.st_size
        && extraStat.st_mtim.tv_sec == keptStat.st_mtim.tv_sec && extraStat.st_mtim.tv_nsec == keptStat.st_mtim.tv_nsec
        && sameBytes(extra, kept);
    if (!link && !copy)
        return EEXIST;
    if (::unlinkat(extra.dir, extra.name.constData(), 0) == 0)
        return 0;
    const int error = errno;
    return gone(extra) ? 0 : error;
}

// For filesystems without hard links: the new name is claimed by a file of our own, created only
// if the name is free, and the rename then replaces nothing but that claim.
int claimThenRename(const Place &from, const Place &to)
{
    tell(MoveWatcher::Step::Claim, from, to, false);
    const int fd = ::openat(to.dir, to.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    tell(MoveWatcher::Step::Claim, from, to, true);
    struct stat claim;
    const bool stated = ::fstat(fd, &claim) == 0;
    // Closed before the rename: some filesystems keep a file that is open when it is replaced.
    ::close(fd);
    auto stillOurClaim = [&] {
        struct stat now;
        return stated && to.stat(now) == 0 && now.st_dev == claim.st_dev && now.st_ino == claim.st_ino
            && S_ISREG(now.st_mode) && now.st_size == 0;
    };
    // Another program that opened the claim and wrote into it made it its file.
    if (!stillOurClaim())
        return EEXIST;
    if (::renameat(from.dir, from.name.constData(), to.dir, to.name.constData()) == 0)
        return 0;
    const int error = errno;
    if (gone(from) && !stillOurClaim() && !gone(to))
        return 0;
    if (stillOurClaim())
        ::unlinkat(to.dir, to.name.constData(), 0);
    return error;
}

int linkThenUnlink(const Place &from, const Place &to, const FileIdentity &source)
{
    // The count of links before this one, to tell a link made from the old name spelt otherwise.
    struct stat before;
    if (from.stat(before) != 0)
        return errno;
    tell(MoveWatcher::Step::Link, from, to, false);
    if (::linkat(from.dir, from.name.constData(), to.dir, to.name.constData(), 0) == 0) {
        tell(MoveWatcher::Step::Link, from, to, true);
    } else {
        const int error = errno;
        // Done after all only when the file has one link more: on a case-insensitive folder the
        // new name may simply be the old one spelt otherwise.
        struct stat now;
        const bool linked = to.stat(now) == 0 && sameFile(now, source) && now.st_nlink > before.st_nlink;
        if (!linked)
            return linksRefused(error) ? claimThenRename(from, to) : error;
    }
    if (::unlinkat(from.dir, from.name.constData(), 0) == 0)
        return 0;
    const int error = errno;
    struct stat now;
    if (from.stat(now) != 0) {
        // The old name is gone although the removal said otherwise: the file lives at the new one.
        if (errno == ENOENT)
            return 0;
        return error;
    }
    // The old name still holds the file: the new name is only an extra link, and goes.
    if (sameFile(now, source))
        removeExtraLinkAt(to, from, SecondName::Link);
    return error;
}

int moveOnce(const Place &from, const Place &to, const FileIdentity &source)
{
    if (::renameat2(from.dir, from.name.constData(), to.dir, to.name.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    if (flagRefused(error))
        return linkThenUnlink(from, to, source);
    return settled(error, from, to, source);
}

qsizetype nameStart(const QByteArray &path)
{
    return path.lastIndexOf('/') + 1;
}

// Two names of one folder that a case-insensitive filesystem takes for one. Names in two folders
// held open are never told apart this way: a batch moves between two folders only.
bool differOnlyInCase(const Place &from, const Place &to)
{
    if (from.dir != to.dir || from.name == to.name)
        return false;
    const qsizetype fromStart = from.dir == AT_FDCWD ? nameStart(from.name) : 0;
    const qsizetype toStart = to.dir == AT_FDCWD ? nameStart(to.name) : 0;
    if (from.name.first(fromStart) != to.name.first(toStart))
        return false;
    return QString::fromUtf8(from.name.sliced(fromStart)).toCaseFolded() == QString::fromUtf8(to.name.sliced(toStart)).toCaseFolded();
}

// Whether the new name, spelt otherwise, may lead to the file itself: by its inode, or where a
// filesystem numbers each spelling apart (exfat-fuse), by its size and time. A wrong guess costs
// nothing: the change of case below replaces nothing, and puts the file back when refused.
bool maybeSameFile(const Place &from, const Place &to, const FileIdentity &source)
{
    struct stat was;
    struct stat now;
    if (from.stat(was) != 0 || to.stat(now) != 0)
        return false;
    return sameFile(now, source)
        || (now.st_mode == was.st_mode && now.st_size == was.st_size && now.st_mtim.tv_sec == was.st_mtim.tv_sec
            && now.st_mtim.tv_nsec == was.st_mtim.tv_nsec);
}

// A change of case alone, where the filesystem sees the new name as the file's own: through a
// temporary name, which a crash would leave visible beside the folder's other files.
int changeCase(const Place &from, const Place &to, const FileIdentity &source)
{
    const QByteArray temporaryName = to.name + ".mivot-" + QByteArray::number(qint64(::getpid()));
    const Place temporary{to.dir, temporaryName};
    const int out = moveOnce(from, temporary, source);
    if (out != 0)
        return out;
    const int in = moveOnce(temporary, to, source);
    if (in != 0)
        moveOnce(temporary, from, source);
    return in;
}

} // namespace

int safeMoveAt(int fromDir, const QByteArray &from, int toDir, const QByteArray &to, const FileIdentity *known)
{
    const Place source{fromDir, from};
    const Place target{toDir, to};
    FileIdentity file;
    if (known) {
        file = *known;
    } else {
        struct stat st;
        if (source.stat(st) != 0)
            return errno;
        file = {st.st_dev, st.st_ino};
    }
    const int result = moveOnce(source, target, file);
    if (result == EEXIST && !gone(source) && differOnlyInCase(source, target) && maybeSameFile(source, target, file))
        return changeCase(source, target, file);
    return result;
}

void MoveWatcher::made(Step, const QByteArray &, const QByteArray &) {}

WatchMoves::WatchMoves(MoveWatcher &watcher) : m_watcher(watcher)
{
    watchers.push_back(&watcher);
}

WatchMoves::~WatchMoves()
{
    std::erase(watchers, &m_watcher);
}

int removeExtraLink(const QByteArray &extra, const QByteArray &kept, SecondName sure)
{
    return removeExtraLinkAt({AT_FDCWD, extra}, {AT_FDCWD, kept}, sure);
}

int removeEmptyClaim(const QByteArray &path)
{
    const Place claim{AT_FDCWD, path};
    struct stat st;
    if (claim.stat(st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode) || st.st_size != 0 || st.st_nlink != 1)
        return EEXIST;
    if (::unlink(path.constData()) == 0)
        return 0;
    const int error = errno;
    return gone(claim) ? 0 : error;
}
