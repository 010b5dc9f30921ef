// Report files on POSIX: a new file, then rename (or, in a folder this user
// may not write to, the file written in place); appends with O_APPEND under
// an flock.
#include "platform/report_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/posix/posix_descriptor.h"
#include "platform/interruption.h"
#include "platform/posix/posix_failure.h"

namespace {

// Creates a file of a name no one has taken, beside `name`: "<name>.<pid>.<n>.new".
// Returns its descriptor and sets `made`, or -1 with errno set.
int create_beside(const std::string& name, std::string& made) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    made = name + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".new";
    const int fd = ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// What a file that is no regular file is, for the user.
const char* kind_of(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

// Opens an existing report file to write it in place: no link followed, no
// wait on a FIFO; refused unless it is a regular file with one link. -1 with
// the failure in `refused` otherwise.
int open_in_place(const std::string& name, int flags, Outcome& refused) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags, 0666);
  if (fd < 0) {
    refused = errno_failure("open", name);
    return -1;
  }
  struct stat status;
  if (::fstat(fd, &status) != 0) {
    refused = errno_failure("open", name);
  } else if (!S_ISREG(status.st_mode)) {
    refused = failure("open", name, std::string(kind_of(status.st_mode)) + ", not a regular file");
  } else if (status.st_nlink != 1) {
    refused = failure("open", name,
                      "a file with " + std::to_string(status.st_nlink) +
                          " links, which may be someone else's");
  } else {
    return fd;
  }
  ::close(fd);
  return -1;
}

// Writes the report over the file at `name` itself.
Outcome write_in_place(const std::string& name, const std::string& bytes) {
  Outcome refused;
  Descriptor fd(open_in_place(name, 0, refused));
  if (!fd) return refused;
  if (::ftruncate(fd.get(), 0) != 0) return errno_failure("truncate", name);
  if (!write_all(fd.get(), bytes)) return errno_failure("write", name);
  if (::close(fd.release()) != 0) return errno_failure("close", name);
  return success();
}

}  // namespace

Outcome replace_file_contents(const std::string& name, const std::string& bytes,
                              Outcome* in_place_because) {
  std::string made;
  const int fd = create_beside(name, made);
  if (fd < 0) {
    const int error = errno;
    const Outcome not_made = errno_failure("create", made, error);
    // Only a file that is there can be written in place.
    struct stat there;
    if ((error != EACCES && error != EPERM) || ::lstat(name.c_str(), &there) != 0) return not_made;
    const Outcome written = write_in_place(name, bytes);
    if (written && in_place_because != nullptr) *in_place_because = not_made;
    return written;
  }
  if (!write_all(fd, bytes)) {
    const int error = errno;
    ::close(fd);
    ::unlink(made.c_str());
    return errno_failure("write", made, error);
  }
  // A write the file system defers may still fail at the close (NFS, quotas).
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(made.c_str());
    return errno_failure("close", made, error);
  }
  if (::rename(made.c_str(), name.c_str()) != 0) {
    const int error = errno;
    ::unlink(made.c_str());
    return errno_failure("rename", name, error);
  }
  return success();
}

Outcome append_line_to_file(const std::string& name, const std::string& line) {
  Outcome refused;
  Descriptor fd(open_in_place(name, O_APPEND | O_CREAT, refused));
  if (!fd) return refused;
  // Anyone who can read the file can hold its lock: the wait is bounded.
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(kAppendLockWaitMs);
  while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return errno_failure("lock", name);
    if (interruption_requested() || std::chrono::steady_clock::now() >= deadline)
      return failure("lock", name,
                     "another process holds its lock; nothing appended");
    ::usleep(10000);
  }
  const std::string whole = line + "\n";
  // A write cut short (a full volume, the file size limit) would leave part
  // of a line that readers of the file cannot parse: the file is cut back to
  // where it ended before. Under the lock, that end is this run's alone.
  struct stat before {};
  const bool sized = ::fstat(fd.get(), &before) == 0;
  ssize_t n = -1;
  do {
    n = ::write(fd.get(), whole.data(), whole.size());
  } while (n < 0 && errno == EINTR);
  const int error = errno;
  const bool written = n == static_cast<ssize_t>(whole.size());
  if (n > 0 && !written && sized) (void)::ftruncate(fd.get(), before.st_size);
  // Closing the descriptor lets go of the lock.
  if (::close(fd.release()) != 0 && written) return errno_failure("close", name);
  if (n < 0) return errno_failure("write", name, error);
  if (!written)
    return failure("write", name,
                   std::to_string(n) + " of " + std::to_string(whole.size()) + " bytes written");
  return success();
}
