// The progress indicator: while standard error is a terminal, a trial's phase
// that lasts more than half a second shows what it has done of its files and
// bytes, and the test how far it is and how long it has left. The indicator
// is transient: it is erased before any console or stderr text continues, so
// the terminal keeps exactly the lines the run writes. Elsewhere it does
// nothing, and asks no clock.
//
// Inside the timed copy phase the work is kept to the transfer and file
// boundaries the copy has anyway: one comparison at each, a look at the
// millisecond clock about every 10 ms of work, and a drawing once a second
// (elsewhere at most 4 times a second).
#pragma once
#include <cstdint>


enum class ProgressPhase { Preparing, Copying, WritingOut, ReadingBack };

// The trials of one test, for "trial n of m" and the time left.
void progress_begin_test(std::int32_t trial_count);
// Trial `index` (from 0) of the test begins.
void progress_begin_trial(std::int32_t index);
// The test is over; the indicator is gone.
void progress_end_test();

// A phase of the current trial over `file_count` files of `file_bytes` bytes
// each. Looks at the terminal once; the phase shows nothing if standard error
// is no terminal for drawing.
void progress_begin_phase(ProgressPhase phase, std::int32_t file_count, std::uint64_t file_bytes);
// The phase has done `bytes_done` bytes of all its files, told at a transfer
// or file boundary.
void progress_at(std::uint64_t bytes_done);
// The same for a phase that works file by file: `files_done` whole files.
void progress_files_done(std::int32_t files_done);
// The phase is over: the indicator is erased.
void progress_end_phase();

// Takes the indicator off the terminal if it shows; nothing otherwise.
void erase_progress();

