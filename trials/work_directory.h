// The work directory of one trial: its name, the names of the files it holds,
// and what becomes of it when the run is interrupted.
#pragma once
#include <cstdint>
#include <string>

#include "console/console_printer.h"
#include "platform/directories.h"
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

// Creates the work directory of a trial whose paths fit, for the trial alone,
// and holds it open (platform/directories.h): the trial's files are made,
// copied and read back inside the held directory, never through a link.
// Holds none, with the failure in `failed`, otherwise.
DirectoryHandle open_work_directory(const std::string& work_directory, std::int32_t file_count,
                                    Outcome& failed);

// The work directory a trial has on the volume, named to the interruption
// layer from the moment it is made until the trial is over, so that a second
// interruption can say what it leaves.
class DirectoryInProgress {
 public:
  explicit DirectoryInProgress(const std::string& work_directory);
  ~DirectoryInProgress();
  DirectoryInProgress(const DirectoryInProgress&) = delete;
  DirectoryInProgress& operator=(const DirectoryInProgress&) = delete;
};

// What stays of a work directory that a trial could not remove: the
// removal's failure with the directory as the system names it (operation
// kLeftInPlace when someone else's stood in its place); success when it was
// removed.
Outcome left_behind(const std::string& work_directory, const Outcome& removed);

// Says on standard error that a work directory stays, and why:
// "could not remove '<dir>': <reason>; it stays", or, when another's stood
// in its place, "left '<dir>': <what was found; the own one moved>". Nothing
// for a success.
void note_left_behind(ConsolePrinter& printer, const Outcome& left);

// Says on standard error that a failed trial's work directory stays for
// inspection, with what it holds: "kept '<dir>': the failed trial's
// directory stays for inspection, with <n> files of <bytes> bytes in all"
// ("1 file of" for one).
void note_kept_for_inspection(ConsolePrinter& printer, const std::string& work_directory,
                              const DirectoryHandle& held);

// Ends a trial that stopped because the run was interrupted: ends the
// console line, removes the work directory through `held` when the trial had
// made it, and says on standard error what was removed or what stays.
void end_interrupted_trial(ConsolePrinter& printer, const std::string& work_directory,
                           DirectoryHandle held);
