#include "platform/console.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

std::ostream& console() { return std::cout; }

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

}  // namespace

int read_key() {
  std::cout.flush();
  struct termios saved;
  if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &saved) != 0) return read_byte();

  // One key without echo and without waiting for Enter. Signal keys are read
  // as keys too (Ctrl-C gives 3), as the Windows console read gives them, so
  // the terminal is never left without echo by an interrupted read.
  struct termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return read_byte();
  const int key = read_byte();
  ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return key;
}
