// Interruption of the run by the user or the system: Ctrl-C, a termination
// or hang-up signal, or the console window closing. The handlers, installed
// by prepare_process, only record the request; the run notices it at its next
// transfer or file boundary, cleans up in ordinary code and ends. A second
// request while the first is being handled ends the process at once, after
// one line on standard error that names the work directory it leaves:
// "varnoquelbit: interrupted again; leaving '<dir>'" (or "interrupted again"
// when no trial has one), starting with a line end of its own, since the
// console line may be open.
#pragma once
#include <cstddef>
#include <string>

// True once the run has been asked to stop.
bool interruption_requested();

// The exit status of a run that stopped for an interruption: 128 + the
// signal's number on POSIX, STATUS_CONTROL_C_EXIT on Windows.
int interrupted_exit_status();

// Names the work directory a trial has on the volume, as the system spells
// it, for the line of a second request; empty when it has none any more. The
// name is kept in storage of the process's own, so that the handler needs no
// memory; a name longer than kNotedDirectoryLimit bytes is cut there.
constexpr std::size_t kNotedDirectoryLimit = 4096;
void note_directory_in_progress(const std::string& system_path);
