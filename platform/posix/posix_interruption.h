// The POSIX side of interruption that the console's key read needs.
#pragma once
#include <termios.h>

// Installs the handlers for SIGINT, SIGTERM and SIGHUP (a signal ignored when
// the process started stays ignored) and the wake-up pipe.
void install_interruption_handlers();

// The read end of a pipe that receives a byte when an interruption is
// requested, so a wait on input can wait on it too; -1 when there is none.
int interruption_wake_descriptor();

// The terminal settings to put back if the process is ended at once while
// single key reads are switched on; nullptr once they have been put back.
void note_terminal_to_restore(const struct termios* saved);
