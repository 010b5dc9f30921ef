#include "platform/process.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

#include "platform/posix/posix_interruption.h"

namespace {

// The kernel's ceiling for open files per process.
rlim_t open_file_ceiling() {
  std::ifstream file("/proc/sys/fs/nr_open");
  unsigned long long ceiling = 0;
  if (file >> ceiling) return static_cast<rlim_t>(ceiling);
  return 0;
}

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

}  // namespace

void prepare_process() {
  // On a terminal every text shows the moment it is written, progress words
  // without a line end included. Redirected output is flushed at line ends.
  if (::isatty(STDOUT_FILENO)) std::cout << std::unitbuf;
  raise_open_file_limit();
  // Output to a pipe or socket whose reader has gone fails with EPIPE and is
  // dropped; the run goes on to its end and writes result.txt.
  ::signal(SIGPIPE, SIG_IGN);
  install_interruption_handlers();
}
