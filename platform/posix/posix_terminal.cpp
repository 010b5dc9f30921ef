#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

// Whether descriptors 1 and 2 are the one terminal device: the same device
// number, or failing that the same file.
bool same_terminal(int a, int b) {
  struct stat first;
  struct stat second;
  if (::fstat(a, &first) != 0 || ::fstat(b, &second) != 0) return false;
  if (S_ISCHR(first.st_mode) && S_ISCHR(second.st_mode)) return first.st_rdev == second.st_rdev;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

TerminalView progress_terminal() {
  TerminalView view;
  const char* term = std::getenv("TERM");
  if (!::isatty(STDERR_FILENO)) return view;
  view.drawable = term == nullptr || std::strcmp(term, "dumb") != 0;
  view.shared_with_console = ::isatty(STDOUT_FILENO) && same_terminal(STDOUT_FILENO, STDERR_FILENO);
  return view;
}

int terminal_columns() {
  struct winsize size;
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}
