// A second thread for work that must never hold the run up (the progress
// indicator), and the two things it shares with the run's own thread: a lock
// and a wake-up. On POSIX the thread starts with every signal blocked, so the
// interruption signals reach the run's own thread alone; on Windows the
// console's control handler has a thread of its own anyway.
#pragma once
#include <cstdint>

// Passed to WakeUp::wait: no time limit.
constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

class SideThread {
 public:
  SideThread() = default;
  // Waits for a started thread's end: its body must be told to return first.
  ~SideThread() { join(); }
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;

  // Runs body(context) on a new thread; false when the system started none.
  bool start(void (*body)(void* context), void* context);
  // Waits until the body has returned; nothing when no thread runs.
  void join();
  bool running() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};

// A lock for state the two threads share; never held across a write.
class ThreadLock {
 public:
  ThreadLock();
  ~ThreadLock();
  ThreadLock(const ThreadLock&) = delete;
  ThreadLock& operator=(const ThreadLock&) = delete;
  void lock();
  void unlock();

 private:
  void* handle_ = nullptr;
};

// Holds a ThreadLock for a scope.
class HeldLock {
 public:
  explicit HeldLock(ThreadLock& lock) : lock_(lock) { lock_.lock(); }
  ~HeldLock() { lock_.unlock(); }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;

 private:
  ThreadLock& lock_;
};

// One thread waits on it for the other: set() ends the wait, or the next one
// when nobody waits yet (a set is never lost, and two sets count as one).
class WakeUp {
 public:
  WakeUp();
  ~WakeUp();
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;
  void set();
  // Waits until set, or `ms` milliseconds (kWaitForever: no limit); true when set.
  bool wait(std::uint32_t ms);

 private:
  void* handle_ = nullptr;
};
