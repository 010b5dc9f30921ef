// Transfer buffers on Windows: whole pages from VirtualAlloc, aligned for
// cache-bypassing transfers on any sector size up to the page size.
#include "platform/memory.h"

#include <windows.h>

void* allocate_io_buffer(std::size_t bytes) {
  // A buffer of no bytes is still a valid, distinct block.
  return VirtualAlloc(nullptr, bytes != 0 ? bytes : 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void release_io_buffer(void* buffer) {
  if (buffer != nullptr) VirtualFree(buffer, 0, MEM_RELEASE);
}
