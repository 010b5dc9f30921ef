#include "trials/copy_method.h"

#include <ostream>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "trials/notes.h"
#include "trials/work_directory.h"
#include "trials/texts.h"

bool copy_all_hl(const CopyJob& job, std::uint32_t& elapsed_ms) {
  const std::uint32_t start = milliseconds_now();
  for (std::int32_t i = 0; i < job.file_count; ++i) {
    if (interruption_requested()) return false;
    const Outcome copied = copy_whole_file(test_file_path(job.work_directory, i),
                                           copy_file_path(job.work_directory, i));
    if (!copied) {
      console() << text::kHlCopyFailed << std::endl;
      write_failure(copied);
      return false;
    }
  }
  const std::uint32_t stop = milliseconds_now();
  elapsed_ms = stop - start;  // unsigned arithmetic: a clock wrap still gives the elapsed time
  return true;
}
