#include "platform/linux/linux_calls.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <unistd.h>

namespace {

int system_open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

const LinuxCalls kSystemCalls{system_open, ::read, ::write, ::sendfile, ::fsync};

}  // namespace

LinuxCalls& linux_calls() {
  static LinuxCalls calls = kSystemCalls;
  return calls;
}

const LinuxCalls& system_linux_calls() { return kSystemCalls; }
