// Process set-up on Windows.
#include "platform/process.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "platform/standard_output_buffer.h"
#include "platform/win32/win32_interruption_internal.h"

bool is_native_help_switch(const std::string& argument) { return argument == "/?"; }

void prepare_process() {
  // A target that is not ready (an empty card reader, a disconnected network
  // drive) makes its calls fail at once instead of waiting on a dialog box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

  // On a console, progress words must show the moment they are written, also
  // those written without a line end.
  install_standard_output_buffer();
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) || _isatty(_fileno(stdout)))
    std::cout << std::unitbuf;
  install_interruption_handler();
  // Open files are kernel handles, not C library descriptors, so no limit
  // needs raising for a run with many files open at once.
}

std::string full_system_path(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return "";
  return std::string(full, length);
}

bool path_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
