// The Windows layer's failures: GetLastError and its text from FormatMessageA.
#pragma once
#include <windows.h>

#include <string>

#include "platform/failure.h"

// The failure of `operation` on the path, for the error code `error`.
Outcome last_error_failure(const char* operation, const std::string& path,
                           DWORD error = GetLastError());
