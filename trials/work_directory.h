// The work directory of one trial: its name, the names of the files it holds,
// and what becomes of it when the run is interrupted.
#pragma once
#include <cstdint>
#include <string>

#include "platform/failure.h"

// The longest work directory or file path a trial uses, in characters.
constexpr std::size_t kMaxTrialPathLength = 99;

// "<drive>\Varnoquelbit<seconds>", the seconds being the low 32 bits of the
// calendar clock written as a signed number. Reads the calendar clock once.
std::string work_directory_path(const std::string& drive);
std::string test_file_path(const std::string& work_directory, std::int32_t index);
std::string copy_file_path(const std::string& work_directory, std::int32_t index);

// True when the work directory and every test and copy file path of a trial
// with `file_count` files fit the path length. Longer paths are never cut
// short: the trial refuses to start instead.
bool trial_paths_fit(const std::string& work_directory, std::int32_t file_count);

// Creates the work directory of a trial whose paths fit; the failure otherwise.
Outcome create_work_directory(const std::string& work_directory, std::int32_t file_count);

// Ends a trial that stopped because the run was interrupted: ends the
// console line, removes the work directory when the trial had made it
// (`created`), and says on standard error what was removed.
void end_interrupted_trial(const std::string& work_directory, bool created);
