#include "platform/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>
#include <iostream>

#include "platform/standard_output_buffer.h"
#include "platform/posix/posix_interruption.h"
#include "platform/posix/posix_paths.h"
#include "platform/posix/posix_system.h"

namespace {

// An LL trial keeps two files open per test file, so the soft limit on open
// files (often 1024) is raised as far as the hard limit allows.
void raise_open_file_limit() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) return;
  const rlim_t wanted = limit.rlim_max;
  limit.rlim_cur = wanted;
  if (::setrlimit(RLIMIT_NOFILE, &limit) == 0) return;
  // An unlimited hard limit is refused as a soft limit: take the kernel's ceiling.
  const rlim_t ceiling = open_file_ceiling();
  if (ceiling == 0 || ceiling >= wanted) return;
  limit.rlim_cur = ceiling;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

// A standard stream closed when the program started is opened on /dev/null,
// so that no file the run opens takes its number: the configuration read as
// the key, or notes written into it.
void open_closed_standard_streams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: this one, since those below it are open.
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

}  // namespace

bool is_native_help_switch(const std::string&) { return false; }

void prepare_process() {
  open_closed_standard_streams();
  // On a terminal every text shows the moment it is written, progress words
  // without a line end included. Redirected output is flushed at line ends.
  install_standard_output_buffer();
  if (::isatty(STDOUT_FILENO)) std::cout << std::unitbuf;
  raise_open_file_limit();
  // Output to a pipe or socket whose reader has gone fails with EPIPE and is
  // dropped; the run goes on to its end and writes result.txt.
  ::signal(SIGPIPE, SIG_IGN);
  // A write beyond the file size limit (ulimit -f) fails with EFBIG like any
  // other failed write, instead of ending the run with a test file left.
  ::signal(SIGXFSZ, SIG_IGN);
  install_interruption_handlers();
}

std::string full_system_path(const std::string& path) {
  std::string native = native_path(path);
  if (!native.empty() && native[0] == '/') return native;
  std::vector<char> directory(256);
  while (::getcwd(directory.data(), directory.size()) == nullptr) {
    if (errno != ERANGE) return "";
    directory.resize(directory.size() * 2);
  }
  std::string full = directory.data();
  if (native.compare(0, 2, "./") == 0) native.erase(0, 2);
  if (native == ".") native.clear();
  while (!native.empty() && native.back() == '/') native.pop_back();
  if (native.empty()) return full;
  return full + (full.back() == '/' ? "" : "/") + native;
}

bool path_exists(const std::string& path) {
  struct stat status;
  return ::stat(native_path(path).c_str(), &status) == 0;
}
