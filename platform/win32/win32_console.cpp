// The console on Windows: standard output and one key press.
#include "platform/console.h"

#include <conio.h>
#include <windows.h>

#include <iostream>

std::ostream& console() { return std::cout; }

int read_key() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return -1;
  DWORD mode = 0;
  // A console: one key press, without echo and without waiting for Enter.
  if (GetConsoleMode(input, &mode)) return _getch();
  // Input from a file or a pipe: its next byte stands for the key. The end of
  // the input, or an error, means there is no key.
  unsigned char byte = 0;
  DWORD got = 0;
  if (!ReadFile(input, &byte, 1, &got, nullptr) || got != 1) return -1;
  return byte;
}
