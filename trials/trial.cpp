#include "trials/trial.h"

#include <optional>
#include <ostream>

#include "platform/console.h"
#include "platform/directories.h"
#include "platform/interruption.h"
#include "platform/memory.h"
#include "trials/notes.h"
#include "trials/pseudo_random.h"
#include "trials/pattern_files.h"
#include "trials/verify_copies.h"
#include "trials/work_directory.h"
#include "trials/texts.h"

std::uint32_t run_trial(TrialState& state, CopyMethod method, const std::string& drive,
                        std::int64_t file_kib, std::int32_t file_count, std::int64_t buffer_kib) {
  const CopyMethodRow& row = copy_method_row(method);
  console() << text::kPreparing;
  CopyJob job{work_directory_path(drive), file_count, file_kib, buffer_kib, nullptr,
              &state.cached_copy_length};
  // The transfer buffer lives as long as the trial and is released on every path.
  std::optional<IoBuffer> buffer;
  if (row.takes_buffer) {
    buffer.emplace(static_cast<std::uint32_t>(buffer_kib) * 1024u);
    job.buffer = buffer->bytes();
  }
  const std::uint32_t content_state = state.generator.state;  // the test files are drawn from here
  const Outcome made =
      row.takes_buffer && job.buffer == nullptr
          ? buffer_failure(static_cast<std::uint32_t>(buffer_kib) * 1024u)
          : create_work_directory(job.work_directory, file_count);
  const bool created = static_cast<bool>(made);
  bool copied = created && make_test_files(state.generator, job.work_directory, file_kib, file_count);
  if (!copied) {
    if (interruption_requested()) {
      end_interrupted_trial(job.work_directory, created);
    } else {
      console() << text::kInitFailed << std::endl;
      write_failure(made);
    }
  } else {
    console() << text::kTesting;
  }

  std::uint32_t elapsed_ms = 0;
  if (copied) {
    copied = row.timed_copy(job, elapsed_ms);
    // After the clock: a copy that does not hold what was written fails the trial.
    if (copied &&
        !copies_match_test_files(job.work_directory, file_kib, file_count, content_state)) {
      if (!interruption_requested()) console() << row.copy_failed << std::endl;
      copied = false;
    }
    if (copied) {
      remove_tree(job.work_directory);
      console() << text::kDone;
    } else if (interruption_requested()) {
      end_interrupted_trial(job.work_directory, true);
    }
  }
  return copied ? elapsed_ms : 0;
}
