#include "platform/linux/linux_calls.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

int system_openat(int directory, const char* path, int flags, mode_t mode) {
  return ::openat(directory, path, flags, mode);
}
int system_fcntl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }

const LinuxCalls kSystemCalls{system_openat, ::read,  ::write,
                              ::fsync,       ::close, ::fstat, system_fcntl};

}  // namespace

LinuxCalls& linux_calls() {
  static LinuxCalls calls = kSystemCalls;
  return calls;
}

const LinuxCalls& system_linux_calls() { return kSystemCalls; }
