#include "platform/clock.h"

#include <time.h>

std::uint32_t milliseconds_now() {
  // The monotonic clock does not jump with changes of the wall clock; only
  // the low 32 bits of its millisecond count are kept, so it wraps.
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                            static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(milliseconds);
}

std::int64_t calendar_seconds_now() { return static_cast<std::int64_t>(::time(nullptr)); }
