// The side thread on POSIX: a pthread started with every signal blocked, a
// mutex, and a wake-up made of a mutex, a condition and a flag.
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <cerrno>

#include "platform/thread.h"

namespace {

struct Started {
  pthread_t thread;
};

struct Flag {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t changed;
  bool set = false;
};

}  // namespace

bool SideThread::start(void (*body)(void*), void* context) {
  if (handle_ != nullptr) return false;
  // The new thread inherits the signal mask: everything blocked, so that
  // SIGINT, SIGTERM and SIGHUP are handled on the run's own thread and
  // interrupt its waits, never this one's writes.
  sigset_t all;
  sigset_t kept;
  sigfillset(&all);
  if (::pthread_sigmask(SIG_SETMASK, &all, &kept) != 0) return false;
  Started* started = new Started;
  // pthread's body takes and returns a void*; the function pointer travels
  // beside its context.
  struct Call {
    void (*body)(void*);
    void* context;
    static void* run(void* call) {
      const Call c = *static_cast<Call*>(call);
      delete static_cast<Call*>(call);
      c.body(c.context);
      return nullptr;
    }
  };
  Call* call = new Call{body, context};
  const int failed = ::pthread_create(&started->thread, nullptr, &Call::run, call);
  ::pthread_sigmask(SIG_SETMASK, &kept, nullptr);
  if (failed != 0) {
    delete call;
    delete started;
    return false;
  }
  handle_ = started;
  return true;
}

void SideThread::join() {
  if (handle_ == nullptr) return;
  Started* started = static_cast<Started*>(handle_);
  ::pthread_join(started->thread, nullptr);
  delete started;
  handle_ = nullptr;
}

ThreadLock::ThreadLock() : handle_(new pthread_mutex_t) {
  ::pthread_mutex_init(static_cast<pthread_mutex_t*>(handle_), nullptr);
}

ThreadLock::~ThreadLock() {
  ::pthread_mutex_destroy(static_cast<pthread_mutex_t*>(handle_));
  delete static_cast<pthread_mutex_t*>(handle_);
}

void ThreadLock::lock() { ::pthread_mutex_lock(static_cast<pthread_mutex_t*>(handle_)); }

void ThreadLock::unlock() { ::pthread_mutex_unlock(static_cast<pthread_mutex_t*>(handle_)); }

WakeUp::WakeUp() {
  Flag* flag = new Flag;
  // Timed waits count on the monotonic clock: a change of the wall clock
  // neither stretches nor cuts them.
  pthread_condattr_t attributes;
  ::pthread_condattr_init(&attributes);
  ::pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
  ::pthread_cond_init(&flag->changed, &attributes);
  ::pthread_condattr_destroy(&attributes);
  handle_ = flag;
}

WakeUp::~WakeUp() {
  Flag* flag = static_cast<Flag*>(handle_);
  ::pthread_cond_destroy(&flag->changed);
  ::pthread_mutex_destroy(&flag->mutex);
  delete flag;
}

void WakeUp::set() {
  Flag* flag = static_cast<Flag*>(handle_);
  ::pthread_mutex_lock(&flag->mutex);
  flag->set = true;
  ::pthread_cond_signal(&flag->changed);
  ::pthread_mutex_unlock(&flag->mutex);
}

bool WakeUp::wait(std::uint32_t ms) {
  Flag* flag = static_cast<Flag*>(handle_);
  struct timespec until;
  ::clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += static_cast<time_t>(ms / 1000);
  until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000L;
  }
  ::pthread_mutex_lock(&flag->mutex);
  int waited = 0;
  while (!flag->set && waited != ETIMEDOUT) {
    waited = ms == kWaitForever ? ::pthread_cond_wait(&flag->changed, &flag->mutex)
                                : ::pthread_cond_timedwait(&flag->changed, &flag->mutex, &until);
  }
  const bool was_set = flag->set;
  flag->set = false;
  ::pthread_mutex_unlock(&flag->mutex);
  return was_set;
}
