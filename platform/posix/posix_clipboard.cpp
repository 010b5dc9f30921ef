// The clipboard on POSIX desktops and terminals, tried in this order until
// one takes the text:
//   1. Wayland (WAYLAND_DISPLAY set): wl-copy;
//   2. X (DISPLAY set): xclip -selection clipboard, else xsel --clipboard --input;
//   3. the controlling terminal: an OSC 52 sequence, which terminals that
//      support it turn into a clipboard copy.
// The tools get the text on their standard input; their own output is
// discarded. Every failure is silent.

#include "platform/clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/posix/posix_system.h"

extern char** environ;

namespace {

// How long a tool may take to read the text and exit before it is stopped.
constexpr int kToolTimeoutMs = 5000;

bool variable_set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// The executable `name` in the first directory of PATH that holds one, or "".
std::string find_on_path(const std::string& name) {
  const char* variable = std::getenv("PATH");
  const std::string directories = variable != nullptr ? variable : "/bin:/usr/bin";
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = directories.find(':', start);
    std::string directory = directories.substr(start, end == std::string::npos ? end : end - start);
    if (directory.empty()) directory = ".";
    const std::string candidate = directory + "/" + name;
    struct stat status;
    if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (end == std::string::npos) return "";
    start = end + 1;
  }
}

long long monotonic_ms() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Writes all of `text` to the non-blocking `fd` before `deadline`.
bool write_before(int fd, const std::string& text, long long deadline) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    const long long left = deadline - monotonic_ms();
    if (left <= 0) return false;
    struct pollfd wait_for = {fd, POLLOUT, 0};
    ::poll(&wait_for, 1, static_cast<int>(left));
  }
  return true;
}

// Waits for the child until `deadline`, then stops it. True when it exited with status 0.
bool child_succeeded(pid_t child, long long deadline) {
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0 && errno != EINTR) return false;
    if (monotonic_ms() >= deadline) break;
    struct timespec pause = {0, 10 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
  ::kill(child, SIGKILL);
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return false;
}

// Runs the tool with `text` on its standard input and its output sent to
// /dev/null. True when it took the text and exited with status 0.
bool pipe_to_tool(const std::vector<std::string>& command, const std::string& text) {
  const std::string program = find_on_path(command[0]);
  if (program.empty()) return false;

  // Both ends above the standard streams, so that the child's set-up of its
  // standard streams cannot overwrite them.
  Descriptor read_end;
  Descriptor write_end;
  if (!open_pipe(read_end, write_end, false)) return false;

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, read_end.get(), STDIN_FILENO);
  ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> arguments;
  for (const std::string& argument : command) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  // The run ignores SIGPIPE; the tool gets the default action back.
  posix_spawnattr_t attributes;
  ::posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  ::posix_spawnattr_setsigdefault(&attributes, &defaults);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t child = 0;
  const int spawned =
      ::posix_spawn(&child, program.c_str(), &actions, &attributes, arguments.data(), environ);
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  read_end.reset();
  if (spawned != 0) return false;

  // A tool that exits without reading must not end this process with SIGPIPE.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous = {};
  ::sigaction(SIGPIPE, &ignore, &previous);
  const long long deadline = monotonic_ms() + kToolTimeoutMs;
  ::fcntl(write_end.get(), F_SETFL, ::fcntl(write_end.get(), F_GETFL) | O_NONBLOCK);
  const bool written = write_before(write_end.get(), text, deadline);
  write_end.reset();
  ::sigaction(SIGPIPE, &previous, nullptr);
  return child_succeeded(child, deadline) && written;
}

std::string base64(const std::string& text) {
  static const char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((text.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < text.size(); i += 3) {
    const unsigned group = static_cast<unsigned char>(text[i]) << 16 |
                           static_cast<unsigned char>(text[i + 1]) << 8 |
                           static_cast<unsigned char>(text[i + 2]);
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += kDigits[(group >> 6) & 63];
    out += kDigits[group & 63];
  }
  const std::size_t left = text.size() - i;
  if (left != 0) {
    unsigned group = static_cast<unsigned char>(text[i]) << 16;
    if (left == 2) group |= static_cast<unsigned char>(text[i + 1]) << 8;
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += left == 2 ? kDigits[(group >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// Sends the text to the controlling terminal as an OSC 52 clipboard sequence.
bool copy_by_terminal(const std::string& text) {
  const Descriptor terminal(::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC));
  if (!terminal) return false;
  const std::string sequence = "\x1b]52;c;" + base64(text) + "\a";
  std::size_t done = 0;
  while (done < sequence.size()) {
    const ssize_t n = ::write(terminal.get(), sequence.data() + done, sequence.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done == sequence.size();
}

}  // namespace

void copy_to_clipboard(const std::string& text) {
  if (variable_set("WAYLAND_DISPLAY") && pipe_to_tool({"wl-copy"}, text)) return;
  if (variable_set("DISPLAY") && (pipe_to_tool({"xclip", "-selection", "clipboard"}, text) ||
                                  pipe_to_tool({"xsel", "--clipboard", "--input"}, text)))
    return;
  copy_by_terminal(text);
}
