#include "platform/memory.h"

#include <unistd.h>

#include <cstdlib>

void* allocate_io_buffer(std::size_t bytes) {
  // Direct I/O wants buffers aligned to the logical sector; a page is a
  // multiple of every sector size in use.
  const long page = ::sysconf(_SC_PAGESIZE);
  const std::size_t alignment = page > 0 ? static_cast<std::size_t>(page) : 4096;
  void* buffer = nullptr;
  // A request of 0 bytes still yields a buffer of its own.
  if (::posix_memalign(&buffer, alignment, bytes != 0 ? bytes : 1) != 0) return nullptr;
  return buffer;
}

void release_io_buffer(void* buffer) { std::free(buffer); }
