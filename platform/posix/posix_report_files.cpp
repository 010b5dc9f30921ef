// Report files on POSIX: a new file, then rename; appends with O_APPEND.
#include "platform/report_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/posix/posix_descriptor.h"
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

}  // namespace

Outcome replace_file_contents(const std::string& name, const std::string& bytes) {
  std::string made;
  const int fd = create_beside(name, made);
  if (fd < 0) return errno_failure("create", made);
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
  const int fd =
      ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return errno_failure("open", name);
  const std::string whole = line + "\n";
  // A write cut short (a full volume, the file size limit) would leave part
  // of a line that readers of the file cannot parse: the file is cut back to
  // where it ended before.
  struct stat before {};
  const bool sized = ::fstat(fd, &before) == 0;
  ssize_t n = -1;
  do {
    n = ::write(fd, whole.data(), whole.size());
  } while (n < 0 && errno == EINTR);
  const int error = errno;
  const bool written = n == static_cast<ssize_t>(whole.size());
  if (n > 0 && !written && sized) (void)::ftruncate(fd, before.st_size);
  if (::close(fd) != 0 && written) return errno_failure("close", name);
  if (n < 0) return errno_failure("write", name, error);
  if (!written)
    return failure("write", name,
                   std::to_string(n) + " of " + std::to_string(whole.size()) + " bytes written");
  return success();
}
