// Descriptors inside the POSIX layer: an owner that closes its descriptor
// when it goes out of scope, so that no path through a function leaves one
// open, and the move of a descriptor out of the standard streams' numbers.
#pragma once
#include <fcntl.h>
#include <unistd.h>

class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  // -1 when it holds none.
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Hands the descriptor over to a caller that closes it (and wants to know
  // how the close went); the owner holds none afterwards.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes what it holds, if anything, and takes `fd`. The close's result is
  // of no interest here: whoever needs it closes a released descriptor.
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// The descriptor moved above the standard three, close-on-exec: a process
// started with a standard stream closed hands out its number next, and a
// pipe end there would be taken for that stream (by a child's set-up of its
// streams, or by this process's own reads of standard input). Returns an
// owner of no descriptor when the move fails.
inline Descriptor above_standard_streams(Descriptor fd) {
  if (!fd || fd.get() > STDERR_FILENO) return fd;
  return Descriptor(::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
}
