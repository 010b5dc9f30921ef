#include "platform/win32/win32_failure.h"

Outcome last_error_failure(const char* operation, const std::string& path, DWORD error) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, 0, text, sizeof(text), nullptr);
  // The system's texts end in a full stop and a line end; the line is ours.
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '.'))
    --length;
  std::string reason = length > 0 ? std::string(text, length) : "error";
  reason += " (" + std::to_string(error) + ")";
  return failure(operation, path, reason);
}
