// The console: the output stream the benchmark reports on, and one key press.
#pragma once
#include <ostream>

// Standard output. Text written without a line end appears at once on a
// terminal; std::endl flushes it to a file or pipe.
std::ostream& console();

// Reads one key press without echo and without waiting for Enter.
// Returns the character, or -1 when there is no key to read (end of input)
// or the run was interrupted while it waited. A terminal switched to single
// key reads is put back as it was on every path.
int read_key();

// Standard error: one-line notes about the run, apart from its console text.
std::ostream& diagnostics();
