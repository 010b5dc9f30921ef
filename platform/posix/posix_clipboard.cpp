// The clipboard on POSIX desktops and terminals, tried in this order until
// one takes the text:
//   1. Wayland (WAYLAND_DISPLAY set): wl-copy;
//   2. X (DISPLAY set): xclip -selection clipboard, else xsel --clipboard --input;
//   3. the controlling terminal: an OSC 52 sequence, which terminals that
//      support it turn into a clipboard copy.
// The tools get the text on their standard input; their own output is
// discarded. The result names the means that took the text, or why none did.

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
#include <cstring>
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

// Waits for the child until `deadline`, then stops it. "" when it exited
// with status 0, else what became of it.
std::string child_outcome(pid_t child, long long deadline) {
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) {
      if (WIFEXITED(status))
        return WEXITSTATUS(status) == 0 ? ""
                                        : "exit status " + std::to_string(WEXITSTATUS(status));
      return "ended by signal " + std::to_string(WTERMSIG(status));
    }
    if (done < 0 && errno != EINTR) return std::strerror(errno);
    if (monotonic_ms() >= deadline) break;
    struct timespec pause = {0, 10 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
  ::kill(child, SIGKILL);
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return "no answer within " + std::to_string(kToolTimeoutMs / 1000) + " s";
}

// Runs the tool with `text` on its standard input and its output sent to
// /dev/null. "" when it took the text and exited with status 0, else why not.
std::string pipe_to_tool(const std::vector<std::string>& command, const std::string& text) {
  const std::string program = find_on_path(command[0]);
  if (program.empty()) return "not found";

  // Both ends above the standard streams, so that the child's set-up of its
  // standard streams cannot overwrite them.
  Descriptor read_end;
  Descriptor write_end;
  if (!open_pipe(read_end, write_end, false)) return std::strerror(errno);

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, read_end.get(), STDIN_FILENO);
  ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> arguments;
  for (const std::string& argument : command) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  // The run ignores SIGPIPE and SIGXFSZ; the tool gets the default actions back.
  posix_spawnattr_t attributes;
  ::posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  ::posix_spawnattr_setsigdefault(&attributes, &defaults);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t child = 0;
  const int spawned =
      ::posix_spawn(&child, program.c_str(), &actions, &attributes, arguments.data(), environ);
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  read_end.reset();
  if (spawned != 0) return std::strerror(spawned);

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
  const std::string outcome = child_outcome(child, deadline);
  if (!outcome.empty()) return outcome;
  return written ? "" : "it did not read the whole text";
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
// "" when the whole sequence was written, else why not.
std::string copy_by_terminal(const std::string& text) {
  const Descriptor terminal(::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC));
  if (!terminal) return std::strerror(errno);
  const std::string sequence = "\x1b]52;c;" + base64(text) + "\a";
  return write_all(terminal.get(), sequence) ? "" : std::strerror(errno);
}

}  // namespace

ClipboardCopy copy_to_clipboard(const std::string& text) {
  std::string reasons;
  const auto tried = [&](const std::vector<std::string>& command) {
    const std::string why = pipe_to_tool(command, text);
    if (!why.empty()) reasons += command[0] + ": " + why + "; ";
    return why.empty();
  };
  if (variable_set("WAYLAND_DISPLAY") && tried({"wl-copy"})) return {true, "wl-copy", ""};
  if (variable_set("DISPLAY")) {
    if (tried({"xclip", "-selection", "clipboard"})) return {true, "xclip", ""};
    if (tried({"xsel", "--clipboard", "--input"})) return {true, "xsel", ""};
  }
  const std::string why = copy_by_terminal(text);
  if (why.empty())
    return {true, "sent to the terminal (OSC 52); the terminal may ignore it", ""};
  if (reasons.empty()) reasons = "no WAYLAND_DISPLAY or DISPLAY for a clipboard tool; ";
  return {false, "", reasons + "/dev/tty: " + why};
}
