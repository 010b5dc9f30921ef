// Clocks: a wrapping millisecond counter for timing and the calendar time.
#pragma once
#include <cstdint>

// Milliseconds from an arbitrary origin, wrapping modulo 2^32.
std::uint32_t milliseconds_now();
// Whole seconds since 1970-01-01 00:00 UTC.
std::int64_t calendar_seconds_now();
