// The console: the output stream the benchmark reports on, and one key press.
#pragma once
#include <ostream>

// Standard output. Text written without a line end appears at once on a
// terminal; std::endl flushes it to a file or pipe.
std::ostream& console();

// Reads one key press without echo and without waiting for Enter.
// Returns the character, or -1 when there is no key to read (end of input).
int read_key();
