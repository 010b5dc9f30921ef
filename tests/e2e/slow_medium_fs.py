"""A slow medium: a FUSE file system that serves one image file as the file
"medium", reading it at one rate and writing it at another, as a USB stick
does. A loop device over /MOUNTPOINT/medium with a file system on it is then
a volume whose copies take their time to reach the medium.

    python3 slow_medium_fs.py IMAGE READ_MB_S WRITE_MB_S MOUNTPOINT -f -s

Rates are in MB/s of 2^20 bytes, as the benchmark counts them. Requests are
served one at a time (-s); each is answered once the medium would have moved
its bytes after the one before, so the rates hold for the whole medium. The
file is served without the kernel's cache (direct_io): every read of the
loop device reaches this process. Needs Debian's python3-fuse and /dev/fuse;
mounting needs root.
"""
import errno
import os
import sys
import time

import fuse

fuse.fuse_python_api = (0, 2)

IMAGE = sys.argv[1]
READ_RATE, WRITE_RATE = (float(rate) * 2**20 for rate in sys.argv[2:4])
del sys.argv[1:4]
NAME = "/medium"


class Medium:
    """When the medium is free again: each transfer starts then, or now if
    later, and lasts its bytes over the rate."""

    free_at = 0.0

    @classmethod
    def transfer(cls, length, rate):
        start = max(time.monotonic(), cls.free_at)
        cls.free_at = start + length / rate
        time.sleep(max(0.0, cls.free_at - time.monotonic()))


class MediumFile:
    def __init__(self, path, flags, *mode):
        self.fd = os.open(IMAGE, (flags & ~os.O_DIRECT) & ~os.O_CREAT)
        self.direct_io = True
        self.keep_cache = False

    def read(self, length, offset):
        data = os.pread(self.fd, length, offset)
        Medium.transfer(len(data), READ_RATE)
        return data

    def write(self, buf, offset):
        Medium.transfer(len(buf), WRITE_RATE)
        return os.pwrite(self.fd, buf, offset)

    def fgetattr(self):
        return os.fstat(self.fd)

    def fsync(self, isfsyncfile):
        return 0  # what was written is on the medium once its time is spent

    def flush(self):
        return 0

    def release(self, flags):
        os.close(self.fd)


class SlowMediumFS(fuse.Fuse):
    def getattr(self, path):
        if path == "/":
            return os.lstat(os.path.dirname(os.path.abspath(IMAGE)))
        if path == NAME:
            return os.lstat(IMAGE)
        return -errno.ENOENT

    def readdir(self, path, offset):
        for name in (".", "..", NAME[1:]):
            yield fuse.Direntry(name)

    def truncate(self, path, length):
        if path != NAME:
            return -errno.EACCES
        os.truncate(IMAGE, length)

    def statfs(self):
        return os.statvfs(os.path.dirname(os.path.abspath(IMAGE)))

    def main(self, *args, **kwargs):
        self.file_class = MediumFile
        return fuse.Fuse.main(self, *args, **kwargs)


if __name__ == "__main__":
    server = SlowMediumFS(dash_s_do="setsingle")
    server.parse(errex=1)
    server.main()
