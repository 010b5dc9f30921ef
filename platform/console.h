// The console: the output stream the benchmark reports on, and one key press.
#pragma once
#include <ostream>

#include "platform/failure.h"

// Standard output. Text written without a line end appears at once on a
// terminal; std::endl flushes it to a file or pipe.
std::ostream& console();

// Writes out what the console still holds and tells how standard output
// fared over the whole run: success, or the first write that failed, with the
// system's reason. A reader that went away (a closed pipe) is no failure: the
// run's text was simply not wanted.
Outcome finish_console();

// Reads one key press without echo and without waiting for Enter.
// Returns the character, or -1 when there is no key to read (end of input)
// or the run was interrupted while it waited. A terminal switched to single
// key reads is put back as it was on every path.
int read_key();

// Standard error: one-line notes about the run, apart from its console text.
std::ostream& diagnostics();

// True when standard error is a terminal, where a person reads the notes as
// they come.
bool diagnostics_on_terminal();
