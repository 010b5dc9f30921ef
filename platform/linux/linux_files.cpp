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
// Files are created with O_CREAT | O_EXCL | O_NOFOLLOW, so a name that exists
// (a link planted there, a hard link to someone's file, anything) fails the
// open instead of being written through, and opened with O_NOFOLLOW. A file
// directly inside a held work directory is opened with openat on the
// directory's descriptor (platform/posix/posix_held_directories.h). Windows
// opens these files without sharing. POSIX has no mandatory exclusive open, so
// other processes are not kept out of a file once it exists; the work
// directory's mode 0700 keeps out every user but its owner and root.

#include "platform/files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <numeric>
#include <utility>
#include <vector>

#include "platform/linux/linux_calls.h"
#include "platform/memory.h"
#include "platform/posix/posix_descriptor.h"
#include "platform/posix/posix_failure.h"
#include "platform/posix/posix_held_directories.h"
#include "platform/posix/posix_paths.h"

namespace {

int descriptor(FileHandle file) { return static_cast<int>(file); }

// Opens the file at the native path `native`, never through a link in its
// own name, inside a held directory when it lies directly in one.
int open_retrying(const std::string& native, int flags, mode_t mode) {
  const AtPath at = locate(native);
  int fd;
  do {
    fd = linux_calls().openat(at.directory, at.name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC,
                              mode);
  } while (fd == -1 && errno == EINTR);
  return fd;
}

// The status of the file open as `fd`: 0, or the errno of fstat, or EISDIR
// for a directory. Only files are opened here; a directory is refused as the
// Windows calls refuse it.
int file_status(int fd, struct stat& status) {
  if (linux_calls().fstat(fd, &status) != 0) return errno;
  return S_ISDIR(status.st_mode) ? EISDIR : 0;
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
  if (linux_calls().fstatfs(fd, &volume) != 0) return false;
  const long type = static_cast<long>(volume.f_type);
  return type == kTmpfsMagic || type == kRamfsMagic;
}

// Takes the descriptor out of direct mode. False when it was not in direct
// mode (so an EINVAL has another cause) or cannot leave it.
bool leave_direct_mode(int fd) {
  const int flags = linux_calls().fcntl(fd, F_GETFL, 0);
  if (flags == -1 || (flags & O_DIRECT) == 0) return false;
  if (linux_calls().fcntl(fd, F_SETFL, flags & ~O_DIRECT) != 0) return false;
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

// A flush or write-out that failed: a failure when the data did not reach
// the medium (an I/O error, a full volume, a quota); success when the volume
// cannot be asked to write out at all, as when it has no medium to flush.
Outcome written_out_failure(const char* operation, int error) {
  if (error == EIO || error == ENOSPC || error == EDQUOT) return errno_failure(operation, "", error);
  return success();
}

// The failure of a transfer on a descriptor; the caller knows its path.
Outcome transfer_failure(bool writing, int error) {
  return errno_failure(writing ? "write" : "read", "", error);
}

// The paths of a whole-file copy, for its failures.
struct CopyPaths {
  std::string from;
  std::string to;
};

// cp's transfers are never larger than this here, whatever block size a file
// system reports; a power of two, so that every smaller one divides it.
constexpr std::size_t kLargestCopyBlock = std::size_t{64} << 20;

// The transfer size cp takes for a file of this status, as coreutils'
// io_blksize works it out: at least 128 KiB and a multiple of the file
// system's preferred block (st_blksize), rounded up to a power of two for a
// regular file whose block is none.
std::size_t copy_block(const struct stat& status) {
  constexpr std::size_t kLeast = 128 * 1024;
  std::size_t block = status.st_blksize > 0 ? static_cast<std::size_t>(status.st_blksize) : kLeast;
  if (block >= kLargestCopyBlock) return kLargestCopyBlock;
  block += (kLeast - 1) - (kLeast - 1) % block;
  if (S_ISREG(status.st_mode) && (block & (block - 1)) != 0) {
    std::size_t power = kLeast;
    while (power < block) power <<= 1;
    block = power;
  }
  return block < kLargestCopyBlock ? block : kLargestCopyBlock;
}

// The buffer cp copies a regular file through: the least common multiple of
// the source's and the destination's transfer sizes, or the source's where
// that multiple is out of range. For a file that is not sparse cp starts
// from the file's size plus one byte and rounds up to that multiple, which
// comes to the multiple itself for every size.
std::size_t copy_buffer_bytes(const struct stat& source, const struct stat& destination) {
  const std::uint64_t a = copy_block(source);
  const std::uint64_t b = copy_block(destination);
  const std::uint64_t multiple = a / std::gcd(a, b) * b;
  return static_cast<std::size_t>(multiple <= kLargestCopyBlock ? multiple : a);
}

// The copy loop's buffer, page-aligned as cp's is. It is allocated at the
// first whole-file copy and kept for the next ones, grown only when a pair of
// files asks for more, and never cleared. cp allocates one for every file
// (coreutils 9.1 maps and unmaps 136 KiB per file, and faults its pages in),
// so inside a timed section this does less than cp does, never more.
unsigned char* copy_buffer(std::size_t bytes) {
  static IoBuffer buffer;
  static std::size_t held = 0;
  if (bytes > held) {
    buffer = IoBuffer();  // the smaller one goes before the larger is had
    buffer = IoBuffer(bytes);
    held = buffer.bytes() != nullptr ? bytes : 0;
  }
  return buffer.bytes();
}

// Tells the caller's hook how far the copy has come; false when it says stop.
bool piece_done(const CopyPieces& pieces, std::uint64_t copied) {
  return pieces.after_piece == nullptr || pieces.after_piece(pieces.context, copied);
}

// Copies `from`, from its current position to its end, into `to` as
// cp --reflink=never does: one read of up to `buffer_bytes` at a time, then
// writes of all it got. No clone and no kernel copy (copy_file_range clones
// on XFS with reflink and on btrfs; sendfile and copy_file_range both run
// slower than this loop on the volumes measured), so every byte moves.
// `copied` counts the bytes written.
Outcome copy_by_pieces(int from, int to, const CopyPaths& paths, std::size_t buffer_bytes,
                       const CopyPieces& pieces, std::uint64_t& copied) {
  unsigned char* buffer = copy_buffer(buffer_bytes);
  if (buffer == nullptr) return buffer_failure(buffer_bytes);
  for (;;) {
    const ssize_t n = linux_calls().read(from, buffer, buffer_bytes);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno_failure("read", paths.from);
    }
    if (n == 0) break;
    std::uint32_t written = 0;
    // Told as every system's whole-file copy tells a failure at its destination.
    if (const int error = transfer_all(to, buffer, static_cast<std::uint32_t>(n), true, written))
      return errno_failure("copy to", paths.to, error);
    copied += static_cast<std::uint64_t>(n);
    if (!piece_done(pieces, copied)) return failure("copy to", paths.to, "interrupted");
  }
  // An empty file is one piece of no bytes.
  if (copied == 0 && !piece_done(pieces, copied)) return failure("copy to", paths.to, "interrupted");
  return success();
}

// Closes a descriptor of a whole-file copy and tells a failure of the close
// in `outcome`, unless it tells an earlier one already: a file system may
// report a failed write only there (a network file system does), and cp
// checks both closes too. EINTR is no failure: Linux has released the
// descriptor by then, and closing it again could close one opened since.
void close_copied(Descriptor file, const std::string& path, Outcome& outcome) {
  if (linux_calls().close(file.release()) != 0 && errno != EINTR && outcome)
    outcome = errno_failure("close", path);
}

}  // namespace

FileHandle open_unbuffered(const std::string& path, FileAccess access,
                           FileDisposition disposition, Outcome* failed) {
  int flags = 0;
  switch (access) {
    case FileAccess::Read: flags |= O_RDONLY; break;
    case FileAccess::Write: flags |= O_WRONLY; break;
    case FileAccess::ReadWrite: flags |= O_RDWR; break;
  }
  if (disposition == FileDisposition::CreateNew) flags |= O_CREAT | O_EXCL;

  const std::string native = native_path(path);
  // Opened first and switched to direct I/O after: a file system without it
  // refuses O_DIRECT at open only after creating the file, and a second open
  // with O_EXCL would then find the name taken.
  Descriptor file(open_retrying(native, flags, 0666));
  if (!file) {
    if (failed != nullptr)
      *failed = errno_failure(disposition == FileDisposition::CreateNew ? "create" : "open", native);
    return kInvalidFile;
  }
  const int fd = file.get();
  struct stat status;
  if (const int error = file_status(fd, status)) {
    if (failed != nullptr) *failed = errno_failure("open", native, error);
    return kInvalidFile;
  }
  // A file system without direct I/O refuses it here: use the page cache.
  const int status_flags = linux_calls().fcntl(fd, F_GETFL, 0);
  const bool cached =
      status_flags == -1 || linux_calls().fcntl(fd, F_SETFL, status_flags | O_DIRECT) != 0;
  linux_calls().posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  mark_cached(fd, cached || on_memory_file_system(fd));
  return file.release();
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
  if (linux_calls().lseek(descriptor(file), static_cast<off_t>(position), SEEK_SET) == -1)
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

Outcome flush_file(FileHandle file) {
  const int fd = descriptor(file);
  int done;
  do {
    done = linux_calls().fsync(fd);
  } while (done != 0 && errno == EINTR);
  if (done != 0) return written_out_failure("flush", errno);
  // Pages written through the cache (after leaving direct mode) are clean
  // now; dropping them makes later reads of the file come from the medium.
  // Without cached pages this costs next to nothing.
  linux_calls().posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  return success();
}

void close_file(FileHandle file) {
  if (file < 0) return;
  mark_cached(descriptor(file), false);
  linux_calls().close(descriptor(file));
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

// cp's loop: its buffer is 128 KiB, or a multiple of a larger block size.
const char* whole_file_copy_text() { return "read/write loop, at least 128 KiB"; }
const char* cache_bypass_text() { return "O_DIRECT"; }

Outcome copy_whole_file(const std::string& from, const std::string& to, CopyPieces pieces) {
  const CopyPaths paths{native_path(from), native_path(to)};
  Descriptor source(open_retrying(paths.from, O_RDONLY, 0));
  if (!source) return errno_failure("open", paths.from);
  struct stat source_status;
  if (const int error = file_status(source.get(), source_status))
    return errno_failure("open", paths.from, error);
  // A new file only: an existing name (the source itself included) is left
  // as it is.
  Descriptor destination(
      open_retrying(paths.to, O_WRONLY | O_CREAT | O_EXCL, source_status.st_mode & 0777));
  if (!destination) return errno_failure("create", paths.to);
  Outcome outcome;
  struct stat destination_status;
  if (const int error = file_status(destination.get(), destination_status)) {
    outcome = errno_failure("create", paths.to, error);
  } else {
    linux_calls().posix_fadvise(source.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::uint64_t copied = 0;
    outcome = copy_by_pieces(source.get(), destination.get(), paths,
                             copy_buffer_bytes(source_status, destination_status), pieces,
                             copied);
    // A source that ends early was cut short while it was copied; one that
    // grew is copied to its new end, as cp copies it.
    const auto size = static_cast<std::uint64_t>(source_status.st_size);
    if (outcome && copied < size)
      outcome = failure("copy from", paths.from,
                        "ended after " + std::to_string(copied) + " of " + std::to_string(size) +
                            " bytes");
  }
  // The data is left to the system's write-back, as cp leaves it.
  close_copied(std::move(destination), paths.to, outcome);
  close_copied(std::move(source), paths.from, outcome);
  return outcome;
}

std::string system_path(const std::string& path) { return native_path(path); }

Outcome write_out_data(FileHandle file, bool& offered) {
  offered = true;
  // Dirty pages go to the medium as data only: no journal commit, unlike fsync.
  int done;
  do {
    done = linux_calls().sync_file_range(descriptor(file), 0, 0,
                                         SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                             SYNC_FILE_RANGE_WAIT_AFTER);
  } while (done != 0 && errno == EINTR);
  return done == 0 ? success() : written_out_failure("write out", errno);
}

void drop_cached_data(FileHandle file) {
  const int fd = descriptor(file);
  // Dirty pages go to the medium as data only: no journal commit, unlike fsync.
  if (linux_calls().sync_file_range(fd, 0, 0,
                                    SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                        SYNC_FILE_RANGE_WAIT_AFTER) != 0)
    return;
  linux_calls().posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}
