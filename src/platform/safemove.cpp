#include "platform/safemove.h"

#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the path now names the file `source` was: false when it names nothing or another file.
bool holds(const QByteArray &path, const struct stat &source)
{
    struct stat now;
    return ::lstat(path.constData(), &now) == 0 && sameFile(now, source);
}

bool gone(const QByteArray &path)
{
    struct stat now;
    return ::lstat(path.constData(), &now) != 0 && errno == ENOENT;
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
int settled(int error, const QByteArray &from, const QByteArray &to, const struct stat &source)
{
    if (gone(from) && holds(to, source))
        return 0;
    return error;
}

// For filesystems without hard links: the new name is claimed by a file of our own, created only
// if the name is free, and the rename then replaces nothing but that claim.
int claimThenRename(const QByteArray &from, const QByteArray &to)
{
    const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    struct stat claim;
    const bool stated = ::fstat(fd, &claim) == 0;
    // Closed before the rename: some filesystems keep a file that is open when it is replaced.
    ::close(fd);
    auto stillOurClaim = [&] {
        struct stat now;
        return stated && ::lstat(to.constData(), &now) == 0 && sameFile(now, claim) && S_ISREG(now.st_mode)
            && now.st_size == 0;
    };
    // Another program that opened the claim and wrote into it made it its file.
    if (!stillOurClaim())
        return EEXIST;
    if (::rename(from.constData(), to.constData()) == 0)
        return 0;
    const int error = errno;
    if (gone(from) && !stillOurClaim() && !gone(to))
        return 0;
    if (stillOurClaim())
        ::unlink(to.constData());
    return error;
}

int linkThenUnlink(const QByteArray &from, const QByteArray &to, const struct stat &source)
{
    if (::linkat(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 0) != 0) {
        const int error = errno;
        // Done after all only when the file has one link more: on a case-insensitive folder the
        // new name may simply be the old one spelt otherwise.
        struct stat now;
        const bool linked = ::lstat(to.constData(), &now) == 0 && sameFile(now, source) && now.st_nlink > source.st_nlink;
        if (!linked)
            return linksRefused(error) ? claimThenRename(from, to) : error;
    }
    if (::unlink(from.constData()) == 0)
        return 0;
    const int error = errno;
    struct stat now;
    if (::lstat(from.constData(), &now) != 0) {
        // The old name is gone although the removal said otherwise: the file lives at the new one.
        if (errno == ENOENT)
            return 0;
        return error;
    }
    // The old name still holds the file: the new name is only an extra link, and goes.
    if (sameFile(now, source))
        removeExtraLink(to, from);
    return error;
}

int moveOnce(const QByteArray &from, const QByteArray &to, const struct stat &source)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
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

// Two names of one folder that a case-insensitive filesystem takes for one.
bool differOnlyInCase(const QByteArray &from, const QByteArray &to)
{
    const qsizetype fromStart = nameStart(from);
    const qsizetype toStart = nameStart(to);
    if (from == to || from.first(fromStart) != to.first(toStart))
        return false;
    return QString::fromUtf8(from.sliced(fromStart)).toCaseFolded() == QString::fromUtf8(to.sliced(toStart)).toCaseFolded();
}

// A change of case alone, where the filesystem sees the new name as the file's own: through a
// temporary name, which a crash would leave visible beside the folder's other files.
int changeCase(const QByteArray &from, const QByteArray &to, const struct stat &source)
{
    const QByteArray temporary = to + ".mivot-" + QByteArray::number(qint64(::getpid()));
    const int out = moveOnce(from, temporary, source);
    if (out != 0)
        return out;
    const int in = moveOnce(temporary, to, source);
    if (in != 0)
        moveOnce(temporary, from, source);
    return in;
}

} // namespace

int safeMove(const QByteArray &from, const QByteArray &to)
{
    struct stat source;
    if (::lstat(from.constData(), &source) != 0)
        return errno;
    const int result = moveOnce(from, to, source);
    if (result == EEXIST && holds(to, source) && !gone(from) && differOnlyInCase(from, to))
        return changeCase(from, to, source);
    return result;
}

int removeExtraLink(const QByteArray &extra, const QByteArray &kept)
{
    struct stat extraStat;
    struct stat keptStat;
    if (::lstat(extra.constData(), &extraStat) != 0)
        return errno;
    if (::lstat(kept.constData(), &keptStat) != 0)
        return errno;
    if (!sameFile(extraStat, keptStat) || extraStat.st_nlink < 2 || S_ISDIR(extraStat.st_mode))
        return EEXIST;
    if (::unlink(extra.constData()) == 0)
        return 0;
    const int error = errno;
    return gone(extra) ? 0 : error;
}

int removeEmptyClaim(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode) || st.st_size != 0 || st.st_nlink != 1)
        return EEXIST;
    if (::unlink(path.constData()) == 0)
        return 0;
    const int error = errno;
    return gone(path) ? 0 : error;
}
