// Process set-up and the console: the open-file limit, key reads from a
// pipe, a closed input and a terminal.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <iostream>
#include <thread>

#include "platform/console.h"
#include "platform/interruption.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "tests/platform/scratch.h"
#include "trials/trial.h"

namespace {

using scratch::ScratchTest;

// Puts `fd` in place of standard input for the life of the object.
class StandardInputSwap {
 public:
  explicit StandardInputSwap(int fd) : saved_(::dup(STDIN_FILENO)) {
    if (fd >= 0) {
      ::dup2(fd, STDIN_FILENO);
    } else {
      ::close(STDIN_FILENO);
    }
  }
  ~StandardInputSwap() {
    ::dup2(saved_, STDIN_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
};

TEST(Process, OpenFileLimitIsRaisedToTheHardLimit) {
  prepare_process();
  struct rlimit limit;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max == RLIM_INFINITY) {
    EXPECT_GE(limit.rlim_cur, 2100u);
  } else {
    EXPECT_EQ(limit.rlim_cur, limit.rlim_max);
  }
}

// Runs prepare_process in a child whose standard output is `fd`; returns
// whether std::cout was left unit-buffered there, or -1 when the child failed.
int unit_buffered_after_prepare(int fd) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    ::dup2(fd, STDOUT_FILENO);
    std::cout.unsetf(std::ios::unitbuf);
    prepare_process();
    ::_exit((std::cout.flags() & std::ios::unitbuf) != 0 ? 1 : 0);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(Process, ConsoleIsUnbufferedOnlyOnATerminal) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  EXPECT_EQ(unit_buffered_after_prepare(ends[1]), 0) << "a pipe keeps its buffering";
  ::close(ends[0]);
  ::close(ends[1]);

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
    SKIP_UNLESS_CI("no pseudo-terminal available");
  const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  EXPECT_EQ(unit_buffered_after_prepare(terminal), 1) << "a terminal shows every text at once";
  ::close(terminal);
  ::close(master);
}

class ManyOpenFiles : public ScratchTest {
 protected:
  TrialState trials;
};

TEST_F(ManyOpenFiles, LowLevelTrialOpensMoreFilesThanTheUsualSoftLimit) {
  struct rlimit limit;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < 1300)
    SKIP_UNLESS_CI("hard open-file limit below 1300: " + std::to_string(limit.rlim_max));
  // Start from the common default of 1024, as a login shell would.
  limit.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
  prepare_process();
  scratch::ConsoleCapture console;
  run_trial(printer, trials, copy_method_row(CopyMethod::LL), "C:", 1, 600,
            1);  // 1,200 files open at once
  EXPECT_EQ(console.text(), "Preparing... Testing... Done.");
  EXPECT_TRUE(scratch::work_directories(dir_).empty());
}

TEST(Console, IsStandardOutput) { EXPECT_EQ(&console(), &std::cout); }

TEST(KeyRead, ReadsOneByteAtATimeFromAPipeThenEndOfInput) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "cx", 2), 2);
  ::close(ends[1]);
  StandardInputSwap swap(ends[0]);
  ::close(ends[0]);
  EXPECT_EQ(read_key(), 'c');
  EXPECT_EQ(read_key(), 'x');
  EXPECT_EQ(read_key(), -1);
}

TEST(KeyRead, HighBytesAreNotNegative) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "\xe9", 1), 1);
  ::close(ends[1]);
  StandardInputSwap swap(ends[0]);
  ::close(ends[0]);
  EXPECT_EQ(read_key(), 0xe9);
}

TEST(KeyRead, ClosedInputIsNoKey) {
  StandardInputSwap swap(-1);
  EXPECT_EQ(read_key(), -1);
}

TEST(KeyRead, TerminalKeyIsReadAtOnceWithoutEchoAndSettingsComeBack) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
    SKIP_UNLESS_CI("no pseudo-terminal available");
  const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  struct termios before;
  ASSERT_EQ(::tcgetattr(terminal, &before), 0);
  ASSERT_NE(before.c_lflag & ICANON, 0u);
  ASSERT_NE(before.c_lflag & ECHO, 0u);

  int key = 0;
  {
    StandardInputSwap swap(terminal);
    // The key comes while read_key waits: no Enter follows it.
    std::thread typist([master] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      (void)::write(master, "k", 1);
    });
    key = read_key();
    typist.join();
  }
  EXPECT_EQ(key, 'k');
  struct pollfd echo = {master, POLLIN, 0};
  EXPECT_EQ(::poll(&echo, 1, 100), 0) << "the key was echoed";
  struct termios after;
  ASSERT_EQ(::tcgetattr(terminal, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
  EXPECT_EQ(after.c_cc[VTIME], before.c_cc[VTIME]);
  ::close(terminal);
  ::close(master);
}

// Runs `body` in a child process that ends with its result; returns the
// child's wait status, or -1 when it did not end within 20 seconds.
int status_of_child(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) ::_exit(body());
  for (int waited = 0; waited < 2000; ++waited) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return -1;
}

bool exited_with(int status, int code) {
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// Each signal is only recorded, with 128 + its number as the run's status;
// a second one ends the process at once with that status.
TEST(Interruption, SignalsAreRecordedAndASecondOneEndsAtOnce) {
  for (int number : {SIGINT, SIGTERM, SIGHUP}) {
    const int status = status_of_child([number] {
      ::signal(number, SIG_DFL);  // as in a run started in the foreground
      prepare_process();
      ::raise(number);
      if (!interruption_requested() || interrupted_exit_status() != 128 + number) return 1;
      ::raise(number);
      return 2;
    });
    EXPECT_TRUE(exited_with(status, 128 + number)) << number << ": status " << status;
  }
  // A signal ignored from the start (as nohup leaves SIGHUP) stays ignored.
  EXPECT_TRUE(exited_with(status_of_child([] {
    ::signal(SIGHUP, SIG_IGN);
    prepare_process();
    ::raise(SIGHUP);
    return interruption_requested() ? 1 : 0;
  }), 0));
  // Writing to a pipe without a reader fails with EPIPE and the process goes on.
  EXPECT_TRUE(exited_with(status_of_child([] {
    prepare_process();
    int ends[2];
    if (::pipe(ends) != 0) return 1;
    ::close(ends[0]);
    const bool refused = ::write(ends[1], "x", 1) == -1 && errno == EPIPE;
    return refused && !interruption_requested() ? 0 : 1;
  }), 0));
}

// A key read waiting on an input that never comes (a pipe whose writer stays
// open) ends when the run is interrupted.
TEST(Interruption, AKeyReadEndsWhenTheRunIsInterrupted) {
  const int status = status_of_child([] {
    int ends[2];
    if (::pipe(ends) != 0) return 1;
    ::dup2(ends[0], STDIN_FILENO);
    ::signal(SIGTERM, SIG_DFL);
    prepare_process();
    std::thread sender([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      ::kill(::getpid(), SIGTERM);
    });
    const int key = read_key();
    sender.join();
    return key == -1 && interruption_requested() ? 0 : 1;
  });
  EXPECT_TRUE(exited_with(status, 0)) << "status " << status;
}

// The indicator's thread: started with the interruption signals blocked, so
// that they reach the run's own thread; its wake-up keeps a set for a wait
// that comes later and tells a timeout from a set.
struct SignalsSeen {
  sigset_t blocked;
  WakeUp* started;
};

TEST(SideThread, RunsWithTheInterruptionSignalsBlockedAndWakesUp) {
  WakeUp started;
  SignalsSeen seen{{}, &started};
  SideThread thread;
  ASSERT_TRUE(thread.start(
      [](void* context) {
        SignalsSeen& s = *static_cast<SignalsSeen*>(context);
        ::pthread_sigmask(SIG_SETMASK, nullptr, &s.blocked);
        s.started->set();
      },
      &seen));
  EXPECT_TRUE(thread.running());
  EXPECT_FALSE(thread.start([](void*) {}, nullptr)) << "one thread per owner";
  EXPECT_TRUE(started.wait(kWaitForever));
  thread.join();
  EXPECT_FALSE(thread.running());
  for (int number : {SIGINT, SIGTERM, SIGHUP})
    EXPECT_EQ(::sigismember(&seen.blocked, number), 1) << number;
  // This thread's own mask is as it was.
  sigset_t own;
  ::pthread_sigmask(SIG_SETMASK, nullptr, &own);
  EXPECT_EQ(::sigismember(&own, SIGINT), 0);

  WakeUp wake;
  EXPECT_FALSE(wake.wait(20)) << "nothing set: the wait times out";
  wake.set();
  wake.set();
  EXPECT_TRUE(wake.wait(0)) << "a set is kept for the next wait";
  EXPECT_FALSE(wake.wait(0)) << "two sets count as one";
}

}  // namespace
