#!/usr/bin/python3
"""A FUSE filesystem over a backing folder that behaves like the filesystems users keep photos on.

    lookalikefs.py nfs BACKING MOUNTPOINT   no rename-without-replace (as every libfuse2
                                            filesystem), hard links work, and a removal answers
                                            "no such file" after it took effect (a lost NFS reply)
    lookalikefs.py fat BACKING MOUNTPOINT   no rename-without-replace, no hard links, names that
                                            differ only in ASCII case are one name, and the inode
                                            numbers are new at each mount

Runs in the foreground until unmounted. Names are handled as bytes (latin-1 round trip).
"""
import errno
import os
import random
import sys

from fusepy import FUSE, FuseOSError, Operations

ENC = 'latin-1'


def lower(name):
    return name.lower() if isinstance(name, str) else name


class Lookalike(Operations):
    use_ns = True

    def __init__(self, mode, root):
        self.fat = mode == 'fat'
        self.root = os.path.realpath(root).encode()
        # The numbers a FAT driver makes up as it meets files: different at every mount.
        self.inodes = {}
        self.next_inode = random.randrange(1 << 20, 1 << 40, 1 << 16)
        self.folders = {}  # backing folder -> {folded name: actual name}, for FAT

    def _names(self, folder):
        names = self.folders.get(folder)
        if names is None:
            names = {n.lower(): n for n in os.listdir(folder)}
            self.folders[folder] = names
        return names

    def _forget(self, folder):
        self.folders.pop(folder, None)

    def real(self, path):
        parts = [p.encode(ENC) for p in path.split('/') if p]
        current = self.root
        for part in parts:
            if self.fat:
                try:
                    part = self._names(current).get(part.lower(), part)
                except OSError:
                    pass
            current = os.path.join(current, part)
        return current

    def _spelt(self, path):
        """The backing path with the last name as given, in its folder as found."""
        folder, name = path.rsplit('/', 1)
        return os.path.join(self.real(folder or '/'), name.encode(ENC))

    def _inode(self, st):
        if not self.fat:
            return st.st_ino
        key = (st.st_dev, st.st_ino)
        if key not in self.inodes:
            self.inodes[key] = self.next_inode
            self.next_inode += 1
        return self.inodes[key]

    def _call(self, function, *args):
        try:
            return function(*args)
        except OSError as error:
            raise FuseOSError(error.errno)

    def getattr(self, path, fh=None):
        st = self._call(os.lstat, self.real(path))
        attributes = {key: getattr(st, key) for key in
                      ('st_mode', 'st_nlink', 'st_uid', 'st_gid', 'st_size', 'st_atime_ns', 'st_mtime_ns', 'st_ctime_ns')}
        for key in ('st_atime', 'st_mtime', 'st_ctime'):
            attributes[key] = attributes.pop(key + '_ns')
        attributes['st_ino'] = self._inode(st)
        if self.fat:
            attributes['st_nlink'] = 1
        return attributes

    def readdir(self, path, fh):
        return ['.', '..'] + [n.decode(ENC) for n in self._call(os.listdir, self.real(path))]

    def readlink(self, path):
        return self._call(os.readlink, self.real(path)).decode(ENC)

    def statfs(self, path):
        st = os.statvfs(self.real(path))
        return {key: getattr(st, key) for key in
                ('f_bavail', 'f_bfree', 'f_blocks', 'f_bsize', 'f_favail', 'f_ffree', 'f_files', 'f_flag',
                 'f_frsize', 'f_namemax')}

    def chmod(self, path, mode):
        self._call(os.chmod, self.real(path), mode)

    def chown(self, path, uid, gid):
        self._call(os.lchown, self.real(path), uid, gid)

    def utimens(self, path, times=None):
        if times is None:
            self._call(os.utime, self.real(path))
        else:
            self._call(lambda: os.utime(self.real(path), ns=times))

    def mkdir(self, path, mode):
        target = self.real(path)
        self._call(os.mkdir, target, mode)
        self._forget(os.path.dirname(target))

    def rmdir(self, path):
        target = self.real(path)
        self._call(os.rmdir, target)
        self._forget(os.path.dirname(target))

    def unlink(self, path):
        target = self.real(path)
        self._call(os.unlink, target)
        self._forget(os.path.dirname(target))
        if not self.fat:
            raise FuseOSError(errno.ENOENT)

    def symlink(self, target, source):
        if self.fat:
            raise FuseOSError(errno.EPERM)
        self._call(os.symlink, source.encode(ENC), self.real(target))
        self._forget(os.path.dirname(self.real(target)))

    def link(self, target, source):
        if self.fat:
            raise FuseOSError(errno.EPERM)
        self._call(os.link, self.real(source), self.real(target))
        self._forget(os.path.dirname(self.real(target)))

    def rename(self, old, new):
        source = self.real(old)
        target = self.real(new)
        # A FAT rename replaces a file of the new name, and keeps the new spelling otherwise
        # (a change of case alone included).
        if not self.fat or not os.path.lexists(target) or os.path.samestat(os.lstat(source), os.lstat(target)):
            target = self._spelt(new)
        self._call(os.rename, source, target)
        self._forget(os.path.dirname(source))
        self._forget(os.path.dirname(target))

    def create(self, path, mode, fi=None):
        target = self.real(path)
        fd = self._call(os.open, target, os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)
        self._forget(os.path.dirname(target))
        return fd

    def open(self, path, flags):
        return self._call(os.open, self.real(path), flags)

    def read(self, path, size, offset, fh):
        os.lseek(fh, offset, os.SEEK_SET)
        return os.read(fh, size)

    def write(self, path, data, offset, fh):
        os.lseek(fh, offset, os.SEEK_SET)
        return os.write(fh, data)

    def truncate(self, path, length, fh=None):
        if fh is not None:
            self._call(os.ftruncate, fh, length)
        else:
            self._call(os.truncate, self.real(path), length)

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        self._call(os.fsync, fh)

    def fsyncdir(self, path, datasync, fh):
        return 0

    def release(self, path, fh):
        os.close(fh)


if __name__ == '__main__':
    mode, backing, mountpoint = sys.argv[1:4]
    FUSE(Lookalike(mode, backing), mountpoint, foreground=True, use_ino=True, encoding=ENC,
         entry_timeout=0, attr_timeout=0, negative_timeout=0)
