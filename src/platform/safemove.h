#pragma once

#include <QByteArray>

// Gives the file at `from` the path `to` (native byte paths, both on one filesystem), never
// replacing or deleting a file, and returns 0 or the errno that explains the refusal.
//
// The route depends on what the filesystem takes: a rename that refuses to replace; where the
// filesystem does not know that flag, a hard link and the removal of the old name; where links
// are refused too, an exclusive create that claims the new name and a rename onto that claim.
// Every step that reports an error is checked against the disk (by device and inode) before the
// next one acts on it, since a network filesystem may report an error for a step that was done.
//
// A crash between two steps leaves either the file under both names (one inode: the extra name
// can go, see removeExtraLink) or an empty file at the new name next to the file at the old one.
int safeMove(const QByteArray &from, const QByteArray &to);

// Removes `extra` only while it is another name of the very file at `kept` (same device and
// inode, more than one link), so that the file itself stays. Returns 0 or the errno.
int removeExtraLink(const QByteArray &extra, const QByteArray &kept);

// Removes the path only while it is an empty regular file with no other name: what a claim of a
// new name left when the move was cut short. Returns 0 or the errno (EEXIST for any other file).
int removeEmptyClaim(const QByteArray &path);
