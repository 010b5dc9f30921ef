#include "trials/copy_method.h"

#include <ostream>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "trials/notes.h"
#include "trials/work_directory.h"
#include "trials/texts.h"

namespace {

// Between the pieces of a copy: an interruption stops it there, so that a
// large file is not copied to its end first.
bool carry_on(void*, std::uint64_t) { return !interruption_requested(); }

}  // namespace

CopyPhaseResult copy_all_hl(const CopyJob& job) {
  const std::uint32_t start = milliseconds_now();
  for (std::int32_t i = 0; i < job.file_count; ++i) {
    if (interruption_requested()) return {};
    const Outcome copied = copy_whole_file(test_file_path(job.work_directory, i),
                                           copy_file_path(job.work_directory, i),
                                           CopyPieces{carry_on, nullptr});
    if (!copied) {
      if (interruption_requested()) return {};
      console() << text::kHlCopyFailed << std::endl;
      write_failure(copied);
      return {};
    }
  }
  const std::uint32_t stop = milliseconds_now();
  // Unsigned arithmetic: a clock wrap still gives the elapsed time. Whole-file
  // copies are the system's own, with no transfers of ours to count.
  return {true, stop - start, 0};
}
