// Handles inside the Windows layer, closed when their owner goes out of
// scope, so that no path through a function leaves one open.
#pragma once
#include <windows.h>

// An owner of a handle that `Closer` closes; neither nullptr nor
// INVALID_HANDLE_VALUE is a handle to close.
template <typename Closer>
class ScopedHandleOf {
 public:
  ScopedHandleOf() = default;
  explicit ScopedHandleOf(HANDLE handle) : handle_(handle) {}
  ~ScopedHandleOf() { reset(); }
  ScopedHandleOf(ScopedHandleOf&& other) noexcept : handle_(other.release()) {}
  ScopedHandleOf& operator=(ScopedHandleOf&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedHandleOf(const ScopedHandleOf&) = delete;
  ScopedHandleOf& operator=(const ScopedHandleOf&) = delete;

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  // Closes what it holds, keeping the thread's last error, which the caller
  // may still be about to report, and takes `handle`.
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (*this) {
      const DWORD error = GetLastError();
      Closer()(handle_);
      SetLastError(error);
    }
    handle_ = handle;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

struct CloseKernelHandle {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct CloseSearchHandle {
  void operator()(HANDLE handle) const { FindClose(handle); }
};

// A file, directory or other kernel object's handle (CloseHandle).
using ScopedHandle = ScopedHandleOf<CloseKernelHandle>;
// A directory listing's handle (FindClose).
using ScopedSearch = ScopedHandleOf<CloseSearchHandle>;
