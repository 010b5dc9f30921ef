#include "platform/terminal.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

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
