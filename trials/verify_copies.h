// Reading the trial's files back. After a trial's clock has stopped, every
// copy file must hold the bytes its test file was made with, and the test
// files must still hold them: a medium that loses or garbles data while every
// call reports success (or wraps later writes onto earlier ones) fails here
// instead of being given a speed.
#pragma once
#include <cstdint>
#include <string>

#include "console/console_printer.h"

// Whether this build reads each trial's files back (see below).
#ifdef VARNO_NO_READ_BACK
constexpr bool kReadsBack = false;
#else
constexpr bool kReadsBack = true;
#endif

// Reads copy files 0 to file_count - 1 of the work directory past the
// system's file cache and compares each with the content make_test_files
// wrote when the run's generator stood at `first_state` (its state just
// before the test files were made); the expected bytes are drawn again from
// that state without touching the run's generator. Then reads back the test
// files themselves, past the cache too: the first 4 KiB of every MiB of each,
// or all of a file under 1 MiB. Returns true when every copy holds exactly its
// bytes and every test file's samples theirs. Otherwise writes one line about
// the first file that does not to standard error and returns false. Once the
// run is interrupted it stops at the next file and returns false without a
// line. A build with VARNO_NO_READ_BACK defined (to measure what the check
// costs) reads nothing and returns true.
bool files_read_back_as_written(ConsolePrinter& printer, const std::string& work_directory,
                                std::int64_t file_kib, std::int32_t file_count,
                                std::uint32_t first_state);
