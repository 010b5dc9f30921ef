// Descriptors inside the POSIX layer: an owner that closes its descriptor
// when it goes out of scope, so that no path through a function leaves one
// open, and the move of a descriptor out of the standard streams' numbers.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/scoped_resource.h"

struct DescriptorTraits {
  using Value = int;
  static int none() { return -1; }
  static bool held(int fd) { return fd >= 0; }
  static void close(int fd) { ::close(fd); }
};

// A descriptor's owner; get() is -1 when it holds none.
using Descriptor = ScopedResource<DescriptorTraits>;

// Writes all of `bytes`, going on after short writes and interrupted calls.
// False with errno telling why when it cannot (EIO for a write of nothing).
inline bool write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The descriptor moved above the standard three, close-on-exec: a process
// started with a standard stream closed hands out its number next, and a
// pipe end there would be taken for that stream (by a child's set-up of its
// streams, or by this process's own reads of standard input). Returns an
// owner of no descriptor when the move fails.
inline Descriptor above_standard_streams(Descriptor fd) {
  if (!fd || fd.get() > STDERR_FILENO) return fd;
  return Descriptor(::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
}
