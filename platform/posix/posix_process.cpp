#include "platform/process.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <iostream>

#include "platform/posix/posix_interruption.h"
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
