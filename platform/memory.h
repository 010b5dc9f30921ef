// Transfer buffers suitable for cache-bypassing I/O: aligned at least to the
// page size, so every platform's unbuffered reads and writes accept them.
#pragma once
#include <cstddef>
#include <utility>

#include "platform/failure.h"
#include "platform/scoped_resource.h"

// Returns nullptr when the memory cannot be had.
void* allocate_io_buffer(std::size_t bytes);
// The failure told when a buffer of `bytes` cannot be had.
inline Outcome buffer_failure(std::size_t bytes) {
  return failure("allocate", std::to_string(bytes) + " bytes", "not enough memory");
}
// Releasing nullptr does nothing.
void release_io_buffer(void* buffer);

// A transfer buffer, released when its owner goes out of scope or is given
// another buffer. Moving hands the buffer to a new owner.
struct IoBufferTraits {
  using Value = void*;
  static void* none() { return nullptr; }
  static bool held(void* data) { return data != nullptr; }
  static void close(void* data) { release_io_buffer(data); }
};

class IoBuffer {
 public:
  IoBuffer() = default;  // owns no buffer
  explicit IoBuffer(std::size_t bytes) : data_(allocate_io_buffer(bytes)) {}
  // nullptr when the memory could not be had or the buffer was handed on.
  unsigned char* bytes() const { return static_cast<unsigned char*>(data_.get()); }
  // Hands the buffer to the caller, who releases it with release_io_buffer;
  // the owner is left with none.
  void* release() { return data_.release(); }

 private:
  ScopedResource<IoBufferTraits> data_;
};
