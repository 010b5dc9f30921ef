#include "platform/posix/posix_failure.h"

#include <cstring>

Outcome errno_failure(const char* operation, const std::string& native, int error) {
  return failure(operation, native, std::strerror(error));
}
