// Standard error as a terminal, for text that is drawn for a moment and
// erased again: whether it is one a person watches, whether standard output
// shows on the same terminal, and how wide it is.
#pragma once

struct TerminalView {
  // Standard error is a terminal, and TERM does not say "dumb".
  bool drawable = false;
  // Standard error is a terminal and standard output is that same terminal,
  // so both share its cursor (whatever TERM says).
  bool shared_with_console = false;
};

TerminalView progress_terminal();

// The width of standard error's terminal in columns; 0 when it cannot be had.
int terminal_columns();
