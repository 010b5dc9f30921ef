#include "trials/work_directory.h"

#include <ostream>
#include <utility>

#include "console/console_printer.h"
#include "console/escaped.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/directories.h"
#include "platform/files.h"
#include "platform/interruption.h"

std::string work_directory_path(const std::string& drive) {
  const auto seconds = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(calendar_seconds_now()));
  return drive + "\\Varnoquelbit" + std::to_string(seconds);
}

std::string test_file_path(const std::string& work_directory, std::int32_t index) {
  return work_directory + "\\test" + std::to_string(index) + ".dat";
}

std::string copy_file_path(const std::string& work_directory, std::int32_t index) {
  return work_directory + "\\copy" + std::to_string(index) + ".dat";
}

bool trial_paths_fit(const std::string& work_directory, std::int32_t file_count) {
  if (work_directory.size() > kMaxTrialPathLength) return false;
  if (file_count <= 0) return true;
  // The highest index gives the longest names; test and copy names are equally long.
  return test_file_path(work_directory, file_count - 1).size() <= kMaxTrialPathLength;
}

DirectoryHandle open_work_directory(const std::string& work_directory, std::int32_t file_count,
                                    Outcome& failed) {
  if (!trial_paths_fit(work_directory, file_count)) {
    failed = failure("create directory", system_path(work_directory),
                     "trial paths longer than " + std::to_string(kMaxTrialPathLength) +
                         " characters");
    return DirectoryHandle();
  }
  return DirectoryHandle(work_directory, &failed);
}

DirectoryInProgress::DirectoryInProgress(const std::string& work_directory) {
  // Escaped now: the second interruption's handler writes it as it is.
  note_directory_in_progress(escaped(system_path(work_directory)));
}

DirectoryInProgress::~DirectoryInProgress() { note_directory_in_progress(""); }

Outcome left_behind(const std::string& work_directory, const Outcome& removed) {
  if (removed) return success();
  // A directory found in the work directory's place is someone else's: it
  // is named as found, and the trial's own stays where it was moved.
  const std::string operation = removed.operation == kLeftInPlace ? kLeftInPlace : "remove";
  return failure(operation, system_path(work_directory), removed.reason);
}

void note_left_behind(ConsolePrinter& printer, const Outcome& left) {
  if (left) return;
  if (left.operation == kLeftInPlace)
    write_failure(printer, left);
  else
    write_note(printer, "could not remove '" + left.path + "': " + left.reason + "; it stays");
}

void note_kept_for_inspection(ConsolePrinter& printer, const std::string& work_directory,
                              const DirectoryHandle& held) {
  std::string reason = "the failed trial's directory stays for inspection";
  DirectoryContents contents;
  if (held_directory_contents(held, work_directory, contents))
    reason += ", with " + std::to_string(contents.files) +
              (contents.files == 1 ? " file of " : " files of ") +
              std::to_string(contents.bytes) + " bytes in all";
  write_failure(printer, failure("kept", system_path(work_directory), reason));
}

void end_interrupted_trial(ConsolePrinter& printer, const std::string& work_directory,
                           DirectoryHandle held) {
  console() << std::endl;
  if (!held) return;
  const Outcome removed = remove_held_directory(std::move(held), work_directory);
  // The user is told the directory's name as their system spells it.
  if (removed)
    write_note(printer, "interrupted; removed " + system_path(work_directory));
  else
    note_left_behind(printer, left_behind(work_directory, removed));
}
