// Transfer buffers suitable for cache-bypassing I/O: aligned at least to the
// page size, so every platform's unbuffered reads and writes accept them.
#pragma once
#include <cstddef>

#include "platform/failure.h"

// Returns nullptr when the memory cannot be had.
void* allocate_io_buffer(std::size_t bytes);
// The failure told when a buffer of `bytes` cannot be had.
inline Outcome buffer_failure(std::size_t bytes) {
  return failure("allocate", std::to_string(bytes) + " bytes", "not enough memory");
}
// Releasing nullptr does nothing.
void release_io_buffer(void* buffer);

// A transfer buffer that is released when it goes out of scope.
class IoBuffer {
 public:
  explicit IoBuffer(std::size_t bytes) : data_(allocate_io_buffer(bytes)) {}
  ~IoBuffer() { release_io_buffer(data_); }
  IoBuffer(const IoBuffer&) = delete;
  IoBuffer& operator=(const IoBuffer&) = delete;
  // nullptr when the memory could not be had.
  unsigned char* bytes() const { return static_cast<unsigned char*>(data_); }

 private:
  void* data_;
};
