// File services on Linux.
//
// Cache bypass is O_DIRECT with page-aligned buffers (see posix_memory.cpp).
// A volume that refuses a transfer for direct I/O (EINVAL: a length or offset
// that is not a multiple of its logical sector, or a file system without
// direct I/O at all) still gets the transfer: the descriptor leaves direct
// mode and the data goes through the page cache. flush_file then syncs it and
// drops the file's cached pages, so the data is on the medium and later reads
// come from there. Such transfers, and all transfers on a memory file system
// (tmpfs takes O_DIRECT but keeps the data in the page cache anyway), are
// counted for take_cached_transfer_length.
//
// Windows opens these files without sharing. POSIX has no mandatory
// exclusive open, so other processes are not kept out; nothing in the
// benchmark depends on it.

#include "platform/files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <vector>

#include "platform/linux/linux_calls.h"
#include "platform/posix/posix_failure.h"
#include "platform/posix/posix_paths.h"

namespace {

int descriptor(FileHandle file) { return static_cast<int>(file); }

int open_retrying(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = linux_calls().open(path.c_str(), flags, mode);
  } while (fd == -1 && errno == EINTR);
  return fd;
}

// Which descriptors of open_unbuffered move their data through the page
// cache, indexed by descriptor. Grown only at open, so that a transfer in a
// timed section allocates nothing.
std::vector<unsigned char> g_cached_descriptors;
// The length of the first transfer on such a descriptor since the last
// take_cached_transfer_length; 0 when there was none.
std::uint32_t g_first_cached_length = 0;

void mark_cached(int fd, bool cached) {
  const auto index = static_cast<std::size_t>(fd);
  if (index >= g_cached_descriptors.size()) {
    if (!cached) return;
    g_cached_descriptors.resize(index + 1, 0);
  }
  g_cached_descriptors[index] = cached ? 1 : 0;
}

void count_transfer(int fd, std::uint32_t length) {
  const auto index = static_cast<std::size_t>(fd);
  if (g_first_cached_length == 0 && length != 0 && index < g_cached_descriptors.size() &&
      g_cached_descriptors[index] != 0)
    g_first_cached_length = length;
}

// File systems that keep every file in memory: direct I/O there, where it is
// accepted at all, still reads and writes the page cache.
bool on_memory_file_system(int fd) {
  constexpr long kTmpfsMagic = 0x01021994;
  constexpr long kRamfsMagic = 0x858458f6;
  struct statfs volume;
  if (::fstatfs(fd, &volume) != 0) return false;
  const long type = static_cast<long>(volume.f_type);
  return type == kTmpfsMagic || type == kRamfsMagic;
}

// Takes the descriptor out of direct mode. False when it was not in direct
// mode (so an EINVAL has another cause) or cannot leave it.
bool leave_direct_mode(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags == -1 || (flags & O_DIRECT) == 0) return false;
  if (::fcntl(fd, F_SETFL, flags & ~O_DIRECT) != 0) return false;
  mark_cached(fd, true);
  return true;
}

// Transfers `length` bytes at the current position, calling read or write
// until all of it is done; `done` counts the bytes moved. Returns 0, or the
// errno of the call that failed. A read that reaches end of file returns 0
// with what it got; a write that moves nothing fails with ENOSPC. A length of
// 0 makes one call, so a bad descriptor still fails.
int transfer_all(int fd, unsigned char* buffer, std::uint32_t length, bool writing,
                 std::uint32_t& done) {
  done = 0;
  for (;;) {
    const std::size_t left = length - done;
    const ssize_t n =
        writing ? linux_calls().write(fd, buffer + done, left)
                : linux_calls().read(fd, buffer + done, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EINVAL && leave_direct_mode(fd)) continue;
      return errno;
    }
    if (n == 0 && left != 0) return writing ? ENOSPC : 0;  // end of file
    done += static_cast<std::uint32_t>(n);
    if (done >= length) {
      count_transfer(fd, length);
      return 0;
    }
  }
}

// The failure of a transfer on a descriptor; the caller knows its path.
Outcome transfer_failure(bool writing, int error) {
  return errno_failure(writing ? "write" : "read", "", error);
}

// The errors on which a kernel copy is taken as not available for this pair
// of files, so that a plain read and write loop takes over.
bool kernel_copy_unsupported(int error) {
  switch (error) {
    case ENOSYS:
    case EXDEV:
    case EOPNOTSUPP:
#if ENOTSUP != EOPNOTSUPP
    case ENOTSUP:
#endif
    case EINVAL:
    case EPERM:
    case EBADF:
    case ETXTBSY:
      return true;
    default:
      return false;
  }
}

// The paths of a whole-file copy, for its failures.
struct CopyPaths {
  std::string from;
  std::string to;
};

// Copies from the current position of `from` to end of file; adds the bytes
// copied to `copied`.
Outcome copy_by_read_write(int from, int to, const CopyPaths& paths, std::uint64_t& copied) {
  std::vector<unsigned char> buffer(256 * 1024);
  for (;;) {
    const ssize_t n = linux_calls().read(from, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno_failure("read", paths.from);
    }
    if (n == 0) return success();
    std::uint32_t written = 0;
    if (const int error =
            transfer_all(to, buffer.data(), static_cast<std::uint32_t>(n), true, written))
      return errno_failure("write", paths.to, error);
    copied += static_cast<std::uint64_t>(n);
  }
}

// Copies all `size` bytes of `from` to `to`; true when exactly that many arrived.
// The kernel moves the data with sendfile, which reads and writes every byte
// through a pipe. copy_file_range is not used: on a file system that can
// share blocks (XFS with reflink, btrfs) it clones the file instead, and a
// clone moves no data at all.
Outcome copy_contents(int from, int to, const CopyPaths& paths, std::uint64_t size) {
  constexpr std::uint64_t kMaxChunk = std::uint64_t{1} << 30;
  std::uint64_t copied = 0;
  while (copied < size) {
    const std::uint64_t left = size - copied;
    const ssize_t n = linux_calls().sendfile(to, from, nullptr,
                                 static_cast<std::size_t>(left < kMaxChunk ? left : kMaxChunk));
    if (n > 0) {
      copied += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // Nothing copied (the source shrank, or the file system answers so) or
    // no kernel copy for these files: the loop below goes on from the
    // current positions.
    if (n == 0 || kernel_copy_unsupported(errno)) break;
    return errno_failure("copy to", paths.to);
  }
  if (copied < size) {
    Outcome outcome = copy_by_read_write(from, to, paths, copied);
    if (!outcome) return outcome;
  }
  if (copied != size)
    return failure("copy from", paths.from,
                   "ended after " + std::to_string(copied) + " of " + std::to_string(size) +
                       " bytes");
  return success();
}

}  // namespace

FileHandle open_unbuffered(const std::string& path, FileAccess access,
                           FileDisposition disposition, Outcome* failed) {
  int flags = O_CLOEXEC;
  switch (access) {
    case FileAccess::Read: flags |= O_RDONLY; break;
    case FileAccess::Write: flags |= O_WRONLY; break;
    case FileAccess::ReadWrite: flags |= O_RDWR; break;
  }
  if (disposition == FileDisposition::CreateAlways) flags |= O_CREAT | O_TRUNC;

  const std::string native = native_path(path);
  int fd = open_retrying(native, flags | O_DIRECT, 0666);
  bool cached = false;
  // A file system without direct I/O refuses it at open: use the page cache.
  if (fd == -1 && errno == EINVAL) {
    fd = open_retrying(native, flags, 0666);
    cached = true;
  }
  if (fd == -1) {
    if (failed != nullptr) *failed = errno_failure("open", native);
    return kInvalidFile;
  }

  // Only files are opened here; a directory is refused as the Windows call refuses it.
  struct stat status;
  const int error = ::fstat(fd, &status) != 0 ? errno : (S_ISDIR(status.st_mode) ? EISDIR : 0);
  if (error != 0) {
    ::close(fd);
    if (failed != nullptr) *failed = errno_failure("open", native, error);
    return kInvalidFile;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  mark_cached(fd, cached || on_memory_file_system(fd));
  return fd;
}

// Transfers here need no memory of their own.
void prepare_transfers(FileHandle, std::uint32_t) {}

Outcome read_file_counted(FileHandle file, void* buffer, std::uint32_t length,
                          std::uint32_t& got) {
  const int error =
      transfer_all(descriptor(file), static_cast<unsigned char*>(buffer), length, false, got);
  return error == 0 ? success() : transfer_failure(false, error);
}

Outcome set_read_position(FileHandle file, std::uint64_t position) {
  if (::lseek(descriptor(file), static_cast<off_t>(position), SEEK_SET) == -1)
    return errno_failure("seek", "");
  return success();
}

Outcome write_file(FileHandle file, const void* buffer, std::uint32_t length) {
  // write() does not modify the buffer; the shared loop takes it as non-const.
  std::uint32_t written = 0;
  const int error = transfer_all(
      descriptor(file), static_cast<unsigned char*>(const_cast<void*>(buffer)), length, true,
      written);
  return error == 0 ? success() : transfer_failure(true, error);
}

void flush_file(FileHandle file) {
  const int fd = descriptor(file);
  if (linux_calls().fsync(fd) != 0) return;
  // Pages written through the cache (after leaving direct mode) are clean
  // now; dropping them makes later reads of the file come from the medium.
  // Without cached pages this costs next to nothing.
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}

void close_file(FileHandle file) {
  if (file < 0) return;
  mark_cached(descriptor(file), false);
  ::close(descriptor(file));
}

std::uint32_t take_cached_transfer_length() {
  const std::uint32_t length = g_first_cached_length;
  g_first_cached_length = 0;
  return length;
}

void set_compression_off(FileHandle file) {
  // As "chattr -c +m": clear the compress flag and set the no-compress flag.
  const int fd = descriptor(file);
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return;
  const int wanted = (flags & ~FS_COMPR_FL) | FS_NOCOMP_FL;
  if (wanted == flags) return;
  if (::ioctl(fd, FS_IOC_SETFLAGS, &wanted) == 0) return;
  // A file system that does not take the no-compress flag may still clear
  // the compress flag.
  if ((flags & FS_COMPR_FL) != 0) {
    const int cleared = flags & ~FS_COMPR_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &cleared);
  }
}

Outcome copy_whole_file(const std::string& from, const std::string& to) {
  const CopyPaths paths{native_path(from), native_path(to)};
  const int source = open_retrying(paths.from, O_RDONLY | O_CLOEXEC, 0);
  if (source == -1) return errno_failure("open", paths.from);
  struct stat source_status;
  const int source_error =
      ::fstat(source, &source_status) != 0 ? errno : (S_ISDIR(source_status.st_mode) ? EISDIR : 0);
  if (source_error != 0) {
    ::close(source);
    return errno_failure("open", paths.from, source_error);
  }
  // Opened without truncation first, so that a copy onto the source itself
  // fails instead of emptying it.
  const int destination =
      open_retrying(paths.to, O_WRONLY | O_CREAT | O_CLOEXEC, source_status.st_mode & 0777);
  if (destination == -1) {
    const Outcome outcome = errno_failure("create", paths.to);
    ::close(source);
    return outcome;
  }
  Outcome outcome;
  struct stat destination_status;
  if (::fstat(destination, &destination_status) != 0) {
    outcome = errno_failure("create", paths.to);
  } else if (destination_status.st_dev == source_status.st_dev &&
             destination_status.st_ino == source_status.st_ino) {
    outcome = failure("copy to", paths.to, "is the source file itself");
  } else if (destination_status.st_size != 0 && ::ftruncate(destination, 0) != 0) {
    outcome = errno_failure("truncate", paths.to);
  } else {
    ::posix_fadvise(source, 0, 0, POSIX_FADV_SEQUENTIAL);
    outcome = copy_contents(source, destination, paths,
                            static_cast<std::uint64_t>(source_status.st_size));
  }
  // The data is left to the system's write-back, as the system copy call leaves it.
  if (::close(destination) != 0 && outcome) outcome = errno_failure("close", paths.to);
  ::close(source);
  return outcome;
}

Outcome delete_file(const std::string& path) {
  const std::string native = native_path(path);
  return ::unlink(native.c_str()) == 0 ? success() : errno_failure("delete", native);
}

std::string system_path(const std::string& path) { return native_path(path); }

void drop_cached_data(FileHandle file) {
  const int fd = descriptor(file);
  // Dirty pages go to the medium as data only: no journal commit, unlike fsync.
  if (::sync_file_range(fd, 0, 0,
                        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                            SYNC_FILE_RANGE_WAIT_AFTER) != 0)
    return;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}
