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
// A crash between two steps leaves either the file under both names (the extra name can go, see
// removeExtraLink) or an empty file at the new name next to the file at the old one; a MoveWatcher
// is told of both steps before they are taken, so that a record can name what a crash leaves.
int safeMoveAt(int fromDir, const QByteArray &from, int toDir, const QByteArray &to, const FileIdentity *known = nullptr);
inline int safeMove(const QByteArray &from, const QByteArray &to)
{
    return safeMoveAt(AT_FDCWD, from, AT_FDCWD, to);
}

// Watches the steps of a move that leave a name of the program's own behind when the process dies
// between them and the next: the claim of the new name (an empty file, renamed onto next) and a
// second name of the file (a link; the old name is removed next). Only the routes of filesystems
// without a rename that refuses to replace take them, so that elsewhere a watcher costs nothing.
class MoveWatcher
{
public:
    enum class Step { Claim, Link };
    virtual ~MoveWatcher() = default;
    // Right before the step, with the whole paths of the file and of its new name.
    virtual void making(Step step, const QByteArray &from, const QByteArray &to) = 0;
    // Right after it, while the move is cut in two.
    virtual void made(Step step, const QByteArray &from, const QByteArray &to);
};

// Tells the watcher of every such step that a move on this thread takes while it lives; watchers
// nest, the innermost told last.
class WatchMoves
{
public:
    explicit WatchMoves(MoveWatcher &watcher);
    ~WatchMoves();
    WatchMoves(const WatchMoves &) = delete;
    WatchMoves &operator=(const WatchMoves &) = delete;

private:
    MoveWatcher &m_watcher;
};

// How sure a second name must be of being the kept file's.
enum class SecondName {
    Link, // one inode with more than one link
    // Or a name that a filesystem shows as a file of its own although the move's link made it
    // (SSHFS gives each name its own inode and one link): the same size, time and bytes.
    LinkOrSameBytes,
};

// Removes `extra` only while it is another name of the very file at `kept`, so that the file
// itself stays. Returns 0 or the errno (EEXIST for any other file).
int removeExtraLink(const QByteArray &extra, const QByteArray &kept, SecondName sure = SecondName::Link);

// Removes the path only while it is an empty regular file with no other name: what a claim of a
// new name left when the move was cut short. Returns 0 or the errno (EEXIST for any other file).
int removeEmptyClaim(const QByteArray &path);
