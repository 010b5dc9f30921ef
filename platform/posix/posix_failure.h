// The POSIX layer's failures: errno and its text from strerror.
#pragma once
#include <cerrno>
#include <string>

#include "platform/failure.h"

// The failure of `operation` on the native path, for the error `error`.
Outcome errno_failure(const char* operation, const std::string& native, int error = errno);
