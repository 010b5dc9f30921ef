// Clocks on Windows: the multimedia timer and the C library's calendar time.
#include "platform/clock.h"

#include <windows.h>
#include <mmsystem.h>

#include <ctime>

static_assert(sizeof(std::time_t) == 8, "calendar time must not end in 2038");

// The multimedia timer as the system runs it; no resolution is requested, so
// a run measures with whatever step the system's timer has.
std::uint32_t milliseconds_now() { return timeGetTime(); }

std::int64_t calendar_seconds_now() { return static_cast<std::int64_t>(std::time(nullptr)); }
