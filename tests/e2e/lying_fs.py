"""A file system that lies: it passes everything through to a directory, but
every read of a file with a given name returns one byte inverted. What is
written is stored as it is; only what is read back is wrong, as on a failing
flash medium.

    python3 lying_fs.py BACKING NAME OFFSET MOUNTPOINT -f -s

BACKING is the directory that holds the data, NAME the file name (in any
directory) whose reads lie, OFFSET the byte they invert. An OFFSET of -1
makes every fsync of the file fail with EIO instead, its reads true: a medium
that takes the data but cannot write it out. Needs Debian's
python3-fuse and /dev/fuse; mounting needs root.
"""
import errno
import os
import sys

import fuse

fuse.fuse_python_api = (0, 2)

BACKING, LYING_NAME, LYING_OFFSET = sys.argv[1], sys.argv[2], int(sys.argv[3])
del sys.argv[1:4]


def real(path):
    return os.path.join(BACKING, path.lstrip("/"))


class LyingFile:
    """An open file of the backing directory. The cache bypass a caller asks
    for is served through the backing file system's cache: the mount's own
    reads still go to this process every time."""

    def __init__(self, path, flags, *mode):
        named = os.path.basename(path) == LYING_NAME
        self.lies = named and LYING_OFFSET >= 0
        self.fails_fsync = named and LYING_OFFSET < 0
        self.fd = os.open(real(path), flags & ~os.O_DIRECT, *mode)

    def read(self, length, offset):
        data = os.pread(self.fd, length, offset)
        if self.lies and offset <= LYING_OFFSET < offset + len(data):
            k = LYING_OFFSET - offset
            data = data[:k] + bytes([data[k] ^ 0xFF]) + data[k + 1:]
        return data

    def write(self, buf, offset):
        return os.pwrite(self.fd, buf, offset)

    def fgetattr(self):
        return os.fstat(self.fd)

    def ftruncate(self, length):
        os.ftruncate(self.fd, length)

    def fsync(self, isfsyncfile):
        if self.fails_fsync:
            return -errno.EIO
        os.fsync(self.fd)

    def flush(self):
        return 0

    def release(self, flags):
        os.close(self.fd)


class LyingFS(fuse.Fuse):
    def getattr(self, path):
        return os.lstat(real(path))

    def readdir(self, path, offset):
        for name in [".", ".."] + os.listdir(real(path)):
            yield fuse.Direntry(name)

    def access(self, path, mode):
        if not os.access(real(path), mode):
            return -errno.EACCES

    def mkdir(self, path, mode):
        os.mkdir(real(path), mode)

    def rmdir(self, path):
        os.rmdir(real(path))

    def unlink(self, path):
        os.unlink(real(path))

    def rename(self, old, new):
        os.rename(real(old), real(new))

    def chmod(self, path, mode):
        os.chmod(real(path), mode)

    def chown(self, path, user, group):
        os.chown(real(path), user, group)

    def truncate(self, path, length):
        os.truncate(real(path), length)

    def utimens(self, path, accessed, modified):
        os.utime(real(path), ns=(accessed.tv_sec * 10**9 + accessed.tv_nsec,
                                 modified.tv_sec * 10**9 + modified.tv_nsec))

    def statfs(self):
        return os.statvfs(BACKING)

    def main(self, *args, **kwargs):
        self.file_class = LyingFile
        return fuse.Fuse.main(self, *args, **kwargs)


if __name__ == "__main__":
    server = LyingFS(dash_s_do="setsingle")
    server.parse(errex=1)
    server.main()
