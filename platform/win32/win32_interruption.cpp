// Interruption on Windows. The console calls the control handler on a thread
// of its own; the handler records the request and returns, and the run
// notices it at its next transfer or file boundary. Closing the console
// window ends the process as soon as the handler returns, so for that event
// the handler waits while the run cleans up and exits. A second request, or
// one while the closing prompt waits for its key, ends the process at once;
// a second request first writes one line on standard error naming the work
// directory in progress.
#include "platform/interruption.h"

#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/interrupted_again_line.h"
#include "platform/win32/win32_interruption_internal.h"

namespace {

volatile LONG g_requested = 0;
volatile LONG g_waiting_for_key = 0;
HANDLE g_key_input = nullptr;
DWORD g_key_input_mode = 0;

// The work directory in progress: its name, valid for g_directory_length
// bytes; the length is 0 while the name changes.
char g_directory[kNotedDirectoryLimit];
volatile LONG g_directory_length = 0;

// The line of a second request, put together without memory of its own (the
// run may be in the middle of an allocation on its thread).
void tell_leaving() {
  static char line[kNotedDirectoryLimit + 64];
  const LONG length = InterlockedCompareExchange(&g_directory_length, 0, 0);
  const std::size_t used = interrupted_again_line(
      line, sizeof line, g_directory, length > 0 ? static_cast<std::size_t>(length) : 0, "\r\n");
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(used), &written, nullptr);
}

[[noreturn]] void end_at_once() {
  if (g_key_input != nullptr) SetConsoleMode(g_key_input, g_key_input_mode);
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  for (;;) Sleep(INFINITE);
}

}  // namespace

BOOL WINAPI on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
    return FALSE;
  const bool first = InterlockedExchange(&g_requested, 1) == 0;
  if (!first) tell_leaving();
  if (!first || InterlockedCompareExchange(&g_waiting_for_key, 0, 0) != 0) end_at_once();
  if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);  // the run's exit ends this thread
  return TRUE;
}

void install_interruption_handler() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool interruption_requested() { return InterlockedCompareExchange(&g_requested, 0, 0) != 0; }

int interrupted_exit_status() { return static_cast<int>(STATUS_CONTROL_C_EXIT); }

void begin_key_wait(HANDLE input, DWORD mode) {
  g_key_input = input;
  g_key_input_mode = mode;
  InterlockedExchange(&g_waiting_for_key, 1);
  // A request that came just before the wait began ends the run here.
  if (interruption_requested()) end_at_once();
}

void end_key_wait() {
  InterlockedExchange(&g_waiting_for_key, 0);
  g_key_input = nullptr;
}

void note_directory_in_progress(const std::string& system_path) {
  InterlockedExchange(&g_directory_length, 0);
  const std::size_t length =
      system_path.size() < kNotedDirectoryLimit ? system_path.size() : kNotedDirectoryLimit;
  system_path.copy(g_directory, length);
  InterlockedExchange(&g_directory_length, static_cast<LONG>(length));
}
