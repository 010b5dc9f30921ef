// The console on Windows: standard output and one key press.
#include "platform/console.h"

#include <conio.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "platform/win32/win32_interruption_internal.h"
#include "platform/standard_output_buffer.h"

namespace {

// Writes through the C runtime's descriptor 1, whose text mode turns each
// line feed into CR LF.
long write_standard_output(const char* bytes, std::size_t length) {
  return _write(1, bytes, static_cast<unsigned>(length));
}

}  // namespace

void install_standard_output_buffer() { install_standard_output_buffer(&write_standard_output); }

std::ostream& console() { return std::cout; }

Outcome finish_console() {
  return standard_output_outcome();
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
