#pragma once

#include <QByteArray>

#include <fcntl.h>
#include <sys/types.h>

// What a file is on disk, for finding it again after a step whose reply cannot be trusted.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
};

// Gives the file at `from` the name `to` and returns 0 or the errno that explains the refusal,
// never replacing or deleting a file. Each name lies in a folder held open (`fromDir`, `toDir`)
// or, with AT_FDCWD, is a whole path; both on one filesystem. `known` is the identity the file at
// `from` was just seen with, so that the move need not look again; null to look afresh.
//
// The route depends on what the filesystem takes: a rename that refuses to replace; where the
// filesystem does not know that flag, a hard link and the removal of the old name; where links
// are refused too, an exclusive create that claims the new name and a rename onto that claim.
// Every step that reports an error is checked against the disk (by device and inode) before the
// next one acts on it, since a network filesystem may report an error for a step that was done.
//
// A crash between two steps leaves either the file under both names (one inode: the extra name
// can go, see removeExtraLink) or an empty file at the new name next to the file at the old one.
int safeMoveAt(int fromDir, const QByteArray &from, int toDir, const QByteArray &to, const FileIdentity *known = nullptr);
inline int safeMove(const QByteArray &from, const QByteArray &to)
{
    return safeMoveAt(AT_FDCWD, from, AT_FDCWD, to);
}

// Removes `extra` only while it is another name of the very file at `kept` (same device and
// inode, more than one link), so that the file itself stays. Returns 0 or the errno.
int removeExtraLink(const QByteArray &extra, const QByteArray &kept);

// Removes the path only while it is an empty regular file with no other name: what a claim of a
// new name left when the move was cut short. Returns 0 or the errno (EEXIST for any other file).
int removeEmptyClaim(const QByteArray &path);
