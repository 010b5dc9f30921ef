"""A counterfeit disk: a FUSE file system that holds one file, disk.img, which
announces SIZE bytes but keeps only REAL of them. A transfer at an offset past
REAL lands at offset mod REAL, over what was written there before, as on a
fake USB stick whose controller wraps its addresses. Every call succeeds.

    python3 counterfeit_fs.py STORE SIZE REAL MOUNTPOINT -f -s -o direct_io

STORE is an ordinary file that holds the REAL bytes. Mounted with direct_io,
every read and write of disk.img reaches this process, so that the kernel's
cache of disk.img never hides the wrap; attach a loop device to
MOUNTPOINT/disk.img and put a file system on it. Needs Debian's python3-fuse
and /dev/fuse; mounting needs root.
"""
import errno
import os
import stat
import sys
import time

import fuse

fuse.fuse_python_api = (0, 2)

STORE, SIZE, REAL = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
del sys.argv[1:4]
IMAGE = "/disk.img"
STARTED = int(time.time())


def pieces(offset, length):
    """(offset in STORE, start in the transfer, length) of each run of a
    transfer that does not cross a wrap."""
    done = 0
    while done < length:
        at = (offset + done) % REAL
        n = min(length - done, REAL - at)
        yield at, done, n
        done += n


class Attributes(fuse.Stat):
    def __init__(self, mode, nlink, size):
        super().__init__()
        self.st_mode, self.st_nlink, self.st_size = mode, nlink, size
        self.st_atime = self.st_mtime = self.st_ctime = STARTED


class CounterfeitFS(fuse.Fuse):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.fd = os.open(STORE, os.O_RDWR)

    def getattr(self, path):
        if path == "/":
            return Attributes(stat.S_IFDIR | 0o755, 2, 0)
        if path == IMAGE:
            return Attributes(stat.S_IFREG | 0o644, 1, SIZE)
        return -errno.ENOENT

    def readdir(self, path, offset):
        for name in [".", "..", IMAGE[1:]]:
            yield fuse.Direntry(name)

    def open(self, path, flags):
        return 0 if path == IMAGE else -errno.ENOENT

    def truncate(self, path, length):
        return 0

    def read(self, path, length, offset):
        length = max(0, min(length, SIZE - offset))
        data = bytearray(length)
        for at, start, n in pieces(offset, length):
            data[start:start + n] = os.pread(self.fd, n, at)
        return bytes(data)

    def write(self, path, buf, offset):
        if offset >= SIZE:
            return -errno.ENOSPC
        length = min(len(buf), SIZE - offset)
        for at, start, n in pieces(offset, length):
            os.pwrite(self.fd, buf[start:start + n], at)
        return length

    def fsync(self, path, isfsyncfile):
        os.fsync(self.fd)
        return 0

    def flush(self, path):
        return 0

    def release(self, path, flags):
        return 0


if __name__ == "__main__":
    server = CounterfeitFS(dash_s_do="setsingle")
    server.parse(errex=1)
    server.main()
