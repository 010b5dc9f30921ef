#include "platform/console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <streambuf>

#include "platform/interruption.h"
#include "platform/posix/posix_console.h"
#include "platform/posix/posix_failure.h"
#include "platform/posix/posix_interruption.h"

namespace {

// Standard output's buffer: it writes to descriptor 1 and keeps the first
// write error's errno, which the C library's streams do not keep. After a
// failed write the stream goes bad and writes nothing more, as before.
class StandardOutputBuffer : public std::streambuf {
 public:
  StandardOutputBuffer() { setp(bytes_, bytes_ + sizeof bytes_); }
  int first_error() const { return first_error_; }

 protected:
  int_type overflow(int_type c) override {
    if (!drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return drain() ? 0 : -1; }

 private:
  // Writes out what the buffer holds; what cannot be written is dropped.
  bool drain() {
    const char* next = pbase();
    const char* const end = pptr();
    setp(bytes_, bytes_ + sizeof bytes_);
    while (next < end) {
      const ssize_t n = ::write(STDOUT_FILENO, next, static_cast<std::size_t>(end - next));
      if (n > 0) {
        next += n;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // Standard output shared with a process that made it non-blocking.
        struct pollfd ready = {STDOUT_FILENO, POLLOUT, 0};
        ::poll(&ready, 1, -1);
        continue;
      }
      if (first_error_ == 0) first_error_ = n < 0 ? errno : EIO;
      return false;
    }
    return true;
  }

  char bytes_[4096];
  int first_error_ = 0;
};

StandardOutputBuffer* g_standard_output = nullptr;

}  // namespace

// Never destroyed: the C++ library flushes std::cout after every static
// object has gone.
void install_standard_output_buffer() {
  if (g_standard_output != nullptr) return;
  std::cout.flush();
  g_standard_output = new StandardOutputBuffer;
  std::cout.rdbuf(g_standard_output);
}

std::ostream& console() { return std::cout; }

Outcome finish_console() {
  std::cout.flush();
  const int error = g_standard_output != nullptr ? g_standard_output->first_error()
                                                 : (std::cout.bad() ? EIO : 0);
  // EPIPE: the reader of a pipe went away.
  if (error == 0 || error == EPIPE) return success();
  return errno_failure("write", "standard output", error);
}

std::ostream& diagnostics() { return std::cerr; }

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
