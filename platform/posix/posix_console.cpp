#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/console.h"
#include "platform/interruption.h"
#include "platform/posix/posix_failure.h"
#include "platform/posix/posix_interruption.h"
#include "platform/standard_output_buffer.h"

// Writes to descriptor 1, waiting where a process sharing it made it non-blocking.
long write_standard_output(const char* bytes, std::size_t length) {
  for (;;) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes, length);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    struct pollfd ready = {STDOUT_FILENO, POLLOUT, 0};
    ::poll(&ready, 1, -1);
  }
}

bool diagnostics_on_terminal() { return ::isatty(STDERR_FILENO) != 0; }

namespace {

// One byte from standard input, or -1 at end of input or on an error.
int read_byte() {
  unsigned char byte = 0;
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
    if (n == 1) return byte;
    if (n < 0 && errno == EINTR) continue;
    return -1;
  }
}

// Waits for input and reads one byte, or returns -1 as soon as the run is
// interrupted: the wait covers the interruption's wake-up pipe too.
int read_byte_unless_interrupted() {
  const int wake = interruption_wake_descriptor();
  for (;;) {
    if (interruption_requested()) return -1;
    struct pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0}, {wake, POLLIN, 0}};
    const int ready = ::poll(waits, wake >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return read_byte();
    // A closed or failing input is ready too: the read reports it.
    if (waits[0].revents != 0) return read_byte();
  }
}

}  // namespace

int read_key() {
  std::cout.flush();
  struct termios saved;
  if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &saved) != 0)
    return read_byte_unless_interrupted();

  // One key without echo and without waiting for Enter. Signal keys are read
  // as keys too (Ctrl-C gives 3), as the Windows console read gives them. A
  // signal sent from elsewhere ends the wait, and the settings are put back
  // before the run ends.
  struct termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  note_terminal_to_restore(&saved);
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
    note_terminal_to_restore(nullptr);
    return read_byte_unless_interrupted();
  }
  const int key = read_byte_unless_interrupted();
  ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  note_terminal_to_restore(nullptr);
  return key;
}

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
