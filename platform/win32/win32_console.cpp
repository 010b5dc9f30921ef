// The console on Windows: standard output and one key press.
#include "platform/console.h"

#include <conio.h>
#include <windows.h>

#include <iostream>

#include "platform/win32/win32_interruption_internal.h"

std::ostream& console() { return std::cout; }

std::ostream& diagnostics() { return std::cerr; }

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
