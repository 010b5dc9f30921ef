// The side thread on Windows: CreateThread (the C runtime's own thread calls
// are not used: the thread only formats text and writes it through the C++
// streams, which the runtime serves on any thread), a critical section, and
// an auto-reset event. All of them are in Windows NT 4.0.
#include <windows.h>

#include "platform/thread.h"

namespace {

struct Call {
  void (*body)(void*);
  void* context;
};

DWORD WINAPI run_call(LPVOID parameter) {
  const Call call = *static_cast<Call*>(parameter);
  delete static_cast<Call*>(parameter);
  call.body(call.context);
  return 0;
}

}  // namespace

bool SideThread::start(void (*body)(void*), void* context) {
  if (handle_ != nullptr) return false;
  Call* call = new Call{body, context};
  DWORD id = 0;
  const HANDLE thread = CreateThread(nullptr, 0, &run_call, call, 0, &id);
  if (thread == nullptr) {
    delete call;
    return false;
  }
  handle_ = thread;
  return true;
}

void SideThread::join() {
  if (handle_ == nullptr) return;
  WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

ThreadLock::ThreadLock() : handle_(new CRITICAL_SECTION) {
  InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(handle_));
}

ThreadLock::~ThreadLock() {
  DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(handle_));
  delete static_cast<CRITICAL_SECTION*>(handle_);
}

void ThreadLock::lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(handle_)); }

void ThreadLock::unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(handle_)); }

// Auto-reset: a set is kept until one wait takes it.
WakeUp::WakeUp() : handle_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

WakeUp::~WakeUp() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
}

void WakeUp::set() {
  if (handle_ != nullptr) SetEvent(static_cast<HANDLE>(handle_));
}

bool WakeUp::wait(std::uint32_t ms) {
  if (handle_ == nullptr) {
    Sleep(ms == kWaitForever ? 1000 : ms);
    return false;
  }
  return WaitForSingleObject(static_cast<HANDLE>(handle_), ms == kWaitForever ? INFINITE : ms) ==
         WAIT_OBJECT_0;
}
