// Handles inside the Windows layer, closed when their owner goes out of
// scope, so that no path through a function leaves one open.
#pragma once
#include <windows.h>

#include "platform/scoped_resource.h"

// Handles that `Closer` closes; neither nullptr nor INVALID_HANDLE_VALUE is
// a handle to close. A close keeps the thread's last error, which the caller
// may still be about to report.
template <typename Closer>
struct HandleTraits {
  using Value = HANDLE;
  static HANDLE none() { return INVALID_HANDLE_VALUE; }
  static bool held(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void close(HANDLE handle) {
    const DWORD error = GetLastError();
    Closer()(handle);
    SetLastError(error);
  }
};

struct CloseKernelHandle {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct CloseSearchHandle {
  void operator()(HANDLE handle) const { FindClose(handle); }
};

// A file, directory or other kernel object's handle (CloseHandle).
using ScopedHandle = ScopedResource<HandleTraits<CloseKernelHandle>>;
// A directory listing's handle (FindClose).
using ScopedSearch = ScopedResource<HandleTraits<CloseSearchHandle>>;
