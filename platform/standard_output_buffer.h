// Standard output's buffer, shared by the native layers (the logic never
// includes this): it writes through the layer's own write call and keeps the
// first write error's errno, which the C library's streams do not keep, for
// finish_console. After a failed write the stream goes bad and writes
// nothing more, as it would without this buffer.
#pragma once
#include <cstddef>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "platform/failure.h"

// Writes some of `length` bytes to standard output: the count written, or -1
// with errno set. Interrupted and would-block writes are the writer's to retry.
using StandardOutputWriter = long (*)(const char* bytes, std::size_t length);

class StandardOutputBuffer : public std::streambuf {
 public:
  explicit StandardOutputBuffer(StandardOutputWriter writer) : writer_(writer) {
    setp(bytes_, bytes_ + sizeof bytes_);
  }
  int first_error() const { return first_error_; }

 protected:
  int_type overflow(int_type c) override {
    if (!drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return drain() ? 0 : -1; }

 private:
  // Writes out what the buffer holds; what cannot be written is dropped.
  bool drain() {
    const char* next = pbase();
    const char* const end = pptr();
    setp(bytes_, bytes_ + sizeof bytes_);
    while (next < end) {
      const long n = writer_(next, static_cast<std::size_t>(end - next));
      if (n > 0) {
        next += n;
        continue;
      }
      if (first_error_ == 0) first_error_ = n < 0 ? errno : EIO;
      return false;
    }
    return true;
  }

  StandardOutputWriter writer_;
  char bytes_[4096];
  int first_error_ = 0;
};

inline StandardOutputBuffer*& standard_output_buffer() {
  static StandardOutputBuffer* buffer = nullptr;
  return buffer;
}

// Puts the buffer under std::cout. Never destroyed: the C++ library flushes
// std::cout after every static object has gone.
inline void install_standard_output_buffer(StandardOutputWriter writer) {
  if (standard_output_buffer() != nullptr) return;
  std::cout.flush();
  standard_output_buffer() = new StandardOutputBuffer(writer);
  std::cout.rdbuf(standard_output_buffer());
}

// Flushes std::cout; the errno of its first failed write, or 0.
inline int standard_output_error() {
  std::cout.flush();
  const StandardOutputBuffer* buffer = standard_output_buffer();
  if (buffer != nullptr) return buffer->first_error();
  return std::cout.bad() ? EIO : 0;
}

// What finish_console tells: the first failed write of standard output, if
// any. A closed pipe (EPIPE: its reader went away) is no failure.
inline Outcome standard_output_outcome() {
  const int error = standard_output_error();
  if (error == 0 || error == EPIPE) return success();
  return failure("write", "standard output", std::strerror(error));
}

// The layer's own write to standard output (each layer's console defines it).
long write_standard_output(const char* bytes, std::size_t length);

// Puts the buffer, writing through write_standard_output, on standard output
// (platform/shared/standard_streams.cpp); prepare_process calls it before the
// run writes.
void install_standard_output_buffer();
