// Clocks on Windows: the multimedia timer and the C library's calendar time.
#include "platform/clock.h"

#include <windows.h>
#include <mmsystem.h>

#include <ctime>

// The multimedia timer as the system runs it; no resolution is requested, so
// a run measures with whatever step the system's timer has.
std::uint32_t milliseconds_now() { return timeGetTime(); }

// time() with a 64-bit result on 32-bit builds too, whose time_t has 32 bits
// and would end in January 2038.
std::int64_t calendar_seconds_now() { return static_cast<std::int64_t>(_time64(nullptr)); }
