#include "trials/hl_trial.h"

#include <ostream>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/directories.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "trials/pseudo_random.h"
#include "trials/test_files.h"
#include "trials/verify_copies.h"
#include "trials/work_directory.h"

bool copy_all_hl(const std::string& work_directory, std::int32_t file_count,
                 std::uint32_t& elapsed_ms) {
  const std::uint32_t start = milliseconds_now();
  for (std::int32_t i = 0; i < file_count; ++i) {
    if (interruption_requested()) return false;
    const Outcome copied =
        copy_whole_file(test_file_path(work_directory, i), copy_file_path(work_directory, i));
    if (!copied) {
      console() << "Copy Failed!" << std::endl;
      write_failure(diagnostics(), copied);
      return false;
    }
  }
  const std::uint32_t stop = milliseconds_now();
  elapsed_ms = stop - start;  // unsigned arithmetic: a clock wrap still gives the elapsed time
  return true;
}

std::uint32_t run_hl_trial(const std::string& drive, std::int64_t file_kib,
                           std::int32_t file_count) {
  console() << "Preparing...";
  const std::string work_directory = work_directory_path(drive);
  const std::uint32_t content_state = random_state();  // the test files are drawn from here
  const Outcome made = create_work_directory(work_directory, file_count);
  const bool created = static_cast<bool>(made);
  if (!created || !make_test_files(work_directory, file_kib, file_count)) {
    if (interruption_requested()) {
      end_interrupted_trial(work_directory, created);
    } else {
      console() << "Init Failed" << std::endl;
      write_failure(diagnostics(), made);
    }
    return 0;
  }
  console() << " Testing...";
  std::uint32_t elapsed_ms = 0;
  if (!copy_all_hl(work_directory, file_count, elapsed_ms)) {
    if (interruption_requested()) end_interrupted_trial(work_directory, true);
    return 0;
  }
  // After the clock: a copy that does not hold what was written fails the trial.
  if (!copies_match_test_files(work_directory, file_kib, file_count, content_state)) {
    if (interruption_requested()) {
      end_interrupted_trial(work_directory, true);
    } else {
      console() << "Copy Failed!" << std::endl;
    }
    return 0;
  }
  remove_tree(work_directory);
  console() << " Done.";
  return elapsed_ms;
}
