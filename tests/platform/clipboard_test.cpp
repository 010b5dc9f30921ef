// The clipboard through stand-in tools on PATH and through a terminal's
// OSC 52 sequence.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>

#include "platform/clipboard.h"
#include "tests/platform/scratch.h"

namespace {

using scratch::ScratchTest;

const char kReport[] =
    "Varnoquelbit Build: [Sat Oct 25 17:01:27 2008]\r\nOS: Unknown\r\n"
    "HL C:   4K 1000File(s)  2Trial(s) : Average:  1.242[MB/s] (  3.146[sec])\r\n";

// Sets or clears an environment variable for the life of the object.
class Variable {
 public:
  Variable(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~Variable() {
    if (had_) {
      ::setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

// Sends standard output to a file while it lives, to see that tools print nothing there.
class StandardOutputToFile {
 public:
  explicit StandardOutputToFile(const std::string& path) : saved_(::dup(STDOUT_FILENO)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
  }
  ~StandardOutputToFile() {
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
};

class Clipboard : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    tools_ = dir_ + "/tools";
    ASSERT_EQ(::mkdir(tools_.c_str(), 0777), 0);
  }
  // A stand-in tool that stores its arguments and its input, and chatters on
  // its standard output and error.
  void make_tool(const std::string& name, int exit_status = 0) {
    const std::string path = tools_ + "/" + name;
    scratch::write_bytes(path, "#!/bin/sh\n"
                               "echo \"$@\" > '" + dir_ + "/" + name + ".args'\n"
                               "/bin/cat > '" + dir_ + "/" + name + ".text'\n"
                               "echo chatter\n"
                               "echo chatter >&2\n"
                               "exit " + std::to_string(exit_status) + "\n");
    ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
  }
  std::string received(const std::string& name) { return scratch::read_bytes(dir_ + "/" + name + ".text"); }
  std::string arguments(const std::string& name) { return scratch::read_bytes(dir_ + "/" + name + ".args"); }

  // Copies with PATH holding only the stand-in tools, in a child process of
  // a session of its own, so that a copy that falls through to the terminal
  // never reaches the one the tests run on. Keeps what the copy told in
  // copied_; false when anything reached standard output.
  bool copy_quietly() {
    const std::string told = dir_ + "/told.txt";
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
      ::setsid();
      ::setenv("PATH", tools_.c_str(), 1);
      ClipboardCopy copy;
      {
        StandardOutputToFile quiet(dir_ + "/stdout.txt");
        copy = copy_to_clipboard(kReport);
      }
      scratch::write_bytes(told, (copy.copied ? "copied: " + copy.how : "not copied: " + copy.reason));
      ::_exit(0);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return false;
    told_ = scratch::read_bytes(told);
    return scratch::read_bytes(dir_ + "/stdout.txt").empty();
  }

  std::string told_;
  std::string tools_;
};

TEST_F(Clipboard, WaylandSessionUsesWlCopy) {
  make_tool("wl-copy");
  make_tool("xclip");
  Variable wayland("WAYLAND_DISPLAY", "wayland-0");
  Variable x("DISPLAY", ":0");
  EXPECT_TRUE(copy_quietly());
  EXPECT_EQ(received("wl-copy"), kReport);
  EXPECT_EQ(told_, "copied: wl-copy");
  EXPECT_FALSE(scratch::exists(dir_ + "/xclip.text"));
}

TEST_F(Clipboard, XSessionUsesXclipWithTheClipboardSelection) {
  make_tool("wl-copy");
  make_tool("xclip");
  make_tool("xsel");
  Variable wayland("WAYLAND_DISPLAY", nullptr);
  Variable x("DISPLAY", ":0");
  EXPECT_TRUE(copy_quietly());
  EXPECT_EQ(received("xclip"), kReport);
  EXPECT_EQ(arguments("xclip"), "-selection clipboard\n");
  EXPECT_EQ(told_, "copied: xclip");
  EXPECT_FALSE(scratch::exists(dir_ + "/wl-copy.text"));
  EXPECT_FALSE(scratch::exists(dir_ + "/xsel.text"));
}

TEST_F(Clipboard, XselTakesOverWithoutXclip) {
  make_tool("xsel");
  Variable wayland("WAYLAND_DISPLAY", nullptr);
  Variable x("DISPLAY", ":0");
  EXPECT_TRUE(copy_quietly());
  EXPECT_EQ(received("xsel"), kReport);
  EXPECT_EQ(arguments("xsel"), "--clipboard --input\n");
  EXPECT_EQ(told_, "copied: xsel");
}

TEST_F(Clipboard, AFailingToolHandsOnToTheNext) {
  make_tool("wl-copy", 1);
  make_tool("xclip");
  Variable wayland("WAYLAND_DISPLAY", "wayland-0");
  Variable x("DISPLAY", ":0");
  EXPECT_TRUE(copy_quietly());
  EXPECT_EQ(received("xclip"), kReport);
  EXPECT_EQ(told_, "copied: xclip");
}

TEST_F(Clipboard, WithoutAToolOrATerminalTheCopyTellsWhy) {
  make_tool("xclip", 1);
  Variable wayland("WAYLAND_DISPLAY", "wayland-0");
  Variable x("DISPLAY", ":0");
  EXPECT_TRUE(copy_quietly());
  EXPECT_EQ(told_, "not copied: wl-copy: not found; xclip: exit status 1; xsel: not found; "
                   "/dev/tty: No such device or address");
  Variable no_wayland("WAYLAND_DISPLAY", nullptr);
  Variable no_x("DISPLAY", nullptr);
  EXPECT_TRUE(copy_quietly());
  EXPECT_EQ(told_, "not copied: no WAYLAND_DISPLAY or DISPLAY for a clipboard tool; "
                   "/dev/tty: No such device or address");
}

TEST_F(Clipboard, ToolThatReadsNothingDoesNotHurtTheProcess) {
  // The tool exits at once without reading a long text: the write meets a
  // closed pipe, which must neither end the process nor hold it up. Run in a
  // child without a controlling terminal, so nothing reaches a real one.
  const std::string path = tools_ + "/wl-copy";
  scratch::write_bytes(path, "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setsid();
    ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    ::unsetenv("DISPLAY");
    ::setenv("PATH", tools_.c_str(), 1);
    copy_to_clipboard(std::string(1 << 20, 'r'));
    struct sigaction pipe_action = {};
    ::sigaction(SIGPIPE, nullptr, &pipe_action);
    ::_exit(pipe_action.sa_handler == SIG_DFL ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "SIGPIPE handling not restored";
  EXPECT_LT(seconds, 4.0);
}

TEST_F(Clipboard, TerminalGetsAnOsc52Sequence) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
    SKIP_UNLESS_CI("no pseudo-terminal available");
  const std::string terminal = ::ptsname(master);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A new session whose controlling terminal is the pseudo-terminal.
    ::setsid();
    const int fd = ::open(terminal.c_str(), O_RDWR);
    if (fd < 0) ::_exit(2);
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("DISPLAY");
    const ClipboardCopy copy = copy_to_clipboard("Hi!\r\n");
    ::_exit(copy.copied && copy.how == "sent to the terminal (OSC 52); the terminal may ignore it"
                ? 0
                : 3);
  }
  std::string output;
  for (;;) {
    struct pollfd ready = {master, POLLIN, 0};
    if (::poll(&ready, 1, 5000) <= 0) break;
    char chunk[256];
    const ssize_t n = ::read(master, chunk, sizeof chunk);
    if (n <= 0) break;
    output.append(chunk, static_cast<std::size_t>(n));
    if (output.find('\a') != std::string::npos) break;
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // "Hi!\r\n" in base64.
  EXPECT_EQ(output, "\x1b]52;c;SGkhDQo=\a");
}

}  // namespace
