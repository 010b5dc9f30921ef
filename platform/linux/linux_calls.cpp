#include "platform/linux/linux_calls.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

int system_openat(int directory, const char* path, int flags, mode_t mode) {
  return ::openat(directory, path, flags, mode);
}
int system_fcntl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }
int system_sync_file_range(int fd, off64_t offset, off64_t length, unsigned int flags) {
  return ::sync_file_range(fd, offset, length, flags);
}
int system_fstatfs(int fd, struct statfs* volume) { return ::fstatfs(fd, volume); }

const LinuxCalls kSystemCalls{system_openat,   ::read,  ::write,       ::fsync,
                              ::close,         ::fstat, system_fcntl,  ::lseek,
                              system_sync_file_range, ::posix_fadvise, system_fstatfs,
                              ::unlinkat};

}  // namespace

LinuxCalls& linux_calls() {
  static LinuxCalls calls = kSystemCalls;
  return calls;
}

const LinuxCalls& system_linux_calls() { return kSystemCalls; }
