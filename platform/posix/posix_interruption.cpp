// Interruption on POSIX. The handler records the signal and writes one byte
// to a pipe, which wakes a key read waiting in poll(); everything else runs
// in ordinary code. Handlers restart interrupted calls (SA_RESTART), so file
// and stream calls behave as without them. A second signal while the first
// is being handled ends the process at once with 128 + its number, after
// one line on standard error naming the work directory in progress and
// putting back the terminal settings if a key read had changed them
// (write, tcsetattr and _exit may be called from a handler; the line is put
// together by hand, into storage of the handler's own).

#include "platform/interruption.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

#include "platform/interrupted_again_line.h"
#include "platform/posix/posix_interruption.h"
#include "platform/posix/posix_system.h"

namespace {

volatile sig_atomic_t g_signal = 0;
int g_wake_read = -1;
int g_wake_write = -1;
volatile sig_atomic_t g_terminal_changed = 0;
struct termios g_terminal_settings;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The work directory in progress: its name, valid for g_directory_length
// bytes; the length is 0 while the name changes.
char g_directory[kNotedDirectoryLimit];
volatile sig_atomic_t g_directory_length = 0;

// The line of a second request, written with one write.
void tell_leaving() {
  static char line[kNotedDirectoryLimit + 64];
  const std::size_t used = interrupted_again_line(
      line, sizeof line, g_directory, static_cast<std::size_t>(g_directory_length), "\n");
  const ssize_t ignored = ::write(STDERR_FILENO, line, used);
  (void)ignored;
}

void on_signal(int number) {
  if (g_signal != 0) {
    tell_leaving();
    if (g_terminal_changed != 0) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_terminal_settings);
    ::_exit(128 + number);
  }
  g_signal = number;
  if (g_wake_write >= 0) {
    const int saved_errno = errno;
    const char byte = 1;
    const ssize_t ignored = ::write(g_wake_write, &byte, 1);
    (void)ignored;
    errno = saved_errno;
  }
}

}  // namespace

void install_interruption_handlers() {
  // The pipe lives as long as the process; its ends stay clear of the
  // standard streams, so that a closed standard input is never taken by it.
  Descriptor read_end;
  Descriptor write_end;
  if (g_wake_read < 0 && open_pipe(read_end, write_end, true)) {
    g_wake_read = read_end.release();
    g_wake_write = write_end.release();
  }
  struct sigaction action = {};
  action.sa_handler = on_signal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int number : kSignals) sigaddset(&action.sa_mask, number);
  for (int number : kSignals) {
    struct sigaction previous;
    // A signal ignored from the start (nohup, a background job) stays ignored.
    if (::sigaction(number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    ::sigaction(number, &action, nullptr);
  }
}

bool interruption_requested() { return g_signal != 0; }

int interrupted_exit_status() { return 128 + g_signal; }

int interruption_wake_descriptor() { return g_wake_read; }

void note_terminal_to_restore(const struct termios* saved) {
  if (saved == nullptr) {
    g_terminal_changed = 0;
    return;
  }
  g_terminal_changed = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_terminal_settings = *saved;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_terminal_changed = 1;
}

void note_directory_in_progress(const std::string& system_path) {
  g_directory_length = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const std::size_t length =
      system_path.size() < kNotedDirectoryLimit ? system_path.size() : kNotedDirectoryLimit;
  system_path.copy(g_directory, length);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_directory_length = static_cast<sig_atomic_t>(length);
}
