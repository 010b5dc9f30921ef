// The console on Windows: standard output and one key press.
#include <conio.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/console.h"
#include "platform/standard_output_buffer.h"
#include "platform/win32/win32_interruption_internal.h"

// Writes through the C runtime's descriptor 1, whose text mode turns each
// line feed into CR LF.
long write_standard_output(const char* bytes, std::size_t length) {
  return _write(1, bytes, static_cast<unsigned>(length));
}

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

namespace {

bool is_console(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

TerminalView progress_terminal() {
  TerminalView view;
  const char* term = std::getenv("TERM");
  if (!is_console(STD_ERROR_HANDLE)) return view;
  view.drawable = term == nullptr || std::strcmp(term, "dumb") != 0;
  // A process has one console at most: standard output on a console is on
  // the one standard error shows on.
  view.shared_with_console = is_console(STD_OUTPUT_HANDLE);
  return view;
}

int terminal_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  // Text wraps at the buffer's width; a window narrower than that shows less.
  const int window = info.srWindow.Right - info.srWindow.Left + 1;
  return window < info.dwSize.X ? window : info.dwSize.X;
}
