// The one way a platform service reports how it went: success, or the
// operation that failed, the path it failed on (as the system names it) and
// the system's own reason for it. Each platform layer turns its error codes
// into a reason in one place.
#pragma once
#include <cstdint>
#include <utility>
#include <string>

struct Outcome {
  std::string operation;  // empty on success
  std::string path;
  std::string reason;
  explicit operator bool() const { return operation.empty(); }
};

inline Outcome success() { return Outcome{}; }

// A failure the logic finds itself, with a reason of its own.
inline Outcome failure(std::string operation, std::string path, std::string reason) {
  return Outcome{std::move(operation), std::move(path), std::move(reason)};
}

// A read that found the end of the file before `length` bytes.
inline Outcome short_read(std::uint32_t got, std::uint32_t length) {
  return failure("read", "",
                 "end of file after " + std::to_string(got) + " of " + std::to_string(length) +
                     " bytes");
}
