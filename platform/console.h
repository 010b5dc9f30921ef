// The console: the output stream the benchmark reports on, one key press,
// standard error for notes, and standard error as a terminal for text that is
// drawn for a moment and erased again.
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

// Standard error as a terminal: whether it is one a person watches, and
// whether standard output shows on the same terminal.
struct TerminalView {
  // Standard error is a terminal, and TERM does not say "dumb".
  bool drawable = false;
  // Standard error is a terminal and standard output is that same terminal,
  // so both share its cursor (whatever TERM says).
  bool shared_with_console = false;
};

TerminalView progress_terminal();

// The width of standard error's terminal in columns; 0 when it cannot be had.
// Safe to ask from any thread.
int terminal_columns();
