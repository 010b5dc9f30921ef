// The console on Windows: standard output and one key press.
#include "platform/console.h"

#include <conio.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "platform/win32/win32_console_internal.h"
#include "platform/win32/win32_interruption_internal.h"

namespace {

// Standard output's buffer: it writes through the C runtime's descriptor 1,
// whose text mode turns each line feed into CR LF as before, and keeps the
// first write error's errno, which the C library's streams do not keep. After
// a failed write the stream goes bad and writes nothing more, as before.
class StandardOutputBuffer : public std::streambuf {
 public:
  StandardOutputBuffer() { setp(bytes_, bytes_ + sizeof bytes_); }
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
      const int n = _write(1, next, static_cast<unsigned>(end - next));
      if (n > 0) {
        next += n;
        continue;
      }
      if (first_error_ == 0) first_error_ = n < 0 ? errno : EIO;
      return false;
    }
    return true;
  }

  char bytes_[4096];
  int first_error_ = 0;
};

StandardOutputBuffer* g_standard_output = nullptr;

}  // namespace

// Never destroyed: the C++ library flushes std::cout after every static
// object has gone.
void install_standard_output_buffer() {
  if (g_standard_output != nullptr) return;
  std::cout.flush();
  g_standard_output = new StandardOutputBuffer;
  std::cout.rdbuf(g_standard_output);
}

std::ostream& console() { return std::cout; }

Outcome finish_console() {
  std::cout.flush();
  const int error = g_standard_output != nullptr ? g_standard_output->first_error()
                                                 : (std::cout.bad() ? EIO : 0);
  // EPIPE: the reader of a pipe went away.
  if (error == 0 || error == EPIPE) return success();
  return failure("write", "standard output", std::strerror(error));
}

std::ostream& diagnostics() { return std::cerr; }

bool diagnostics_on_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int read_key() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return -1;
  DWORD mode = 0;
  // A console: one key press, without echo and without waiting for Enter.
  if (GetConsoleMode(input, &mode)) {
    begin_key_wait(input, mode);
    const int key = _getch();
    end_key_wait();
    return key;
  }
  // Input from a file or a pipe: its next byte stands for the key. The end of
  // the input, or an error, means there is no key.
  unsigned char byte = 0;
  DWORD got = 0;
  begin_key_wait(nullptr, 0);
  const bool read = ReadFile(input, &byte, 1, &got, nullptr) && got == 1;
  end_key_wait();
  return read ? byte : -1;
}
