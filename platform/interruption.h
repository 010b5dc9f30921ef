// Interruption of the run by the user or the system: Ctrl-C, a termination
// or hang-up signal, or the console window closing. The handlers, installed
// by prepare_process, only record the request; the run notices it at its next
// transfer or file boundary, cleans up in ordinary code and ends. A second
// request while the first is being handled ends the process at once.
#pragma once

// True once the run has been asked to stop.
bool interruption_requested();

// The exit status of a run that stopped for an interruption: 128 + the
// signal's number on POSIX, STATUS_CONTROL_C_EXIT on Windows.
int interrupted_exit_status();
