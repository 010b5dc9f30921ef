#include <ostream>

#include "console/console_printer.h"
#include "console/texts.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "trials/copy_method.h"
#include "trials/work_directory.h"

namespace {

// The phase's counters, and the bytes of the files before the one in copy.
struct PieceCount {
  ProgressCounters& counters;
  std::uint64_t bytes_before = 0;
};

// Between the pieces of a copy: the counters tell how far the phase is, and
// an interruption stops the copy there, so that a large file is not copied to
// its end first.
bool after_piece(void* context, std::uint64_t copied) {
  const PieceCount& count = *static_cast<const PieceCount*>(context);
  count.counters.bytes_done(count.bytes_before + copied);
  return !interruption_requested();
}

}  // namespace

CopyPhaseResult copy_all_hl(ConsolePrinter& printer, const CopyJob& job) {
  const std::uint64_t file_bytes = static_cast<std::uint64_t>(job.file_kib) * 1024u;
  PieceCount count{printer.counters()};
  const CopyPieces pieces{after_piece, &count};
  const std::uint32_t start = milliseconds_now();
  for (std::int32_t i = 0; i < job.file_count; ++i) {
    if (interruption_requested()) return {};
    count.bytes_before = file_bytes * static_cast<std::uint64_t>(i);
    const Outcome copied = copy_whole_file(test_file_path(job.work_directory, i),
                                           copy_file_path(job.work_directory, i), pieces);
    if (!copied) {
      if (interruption_requested()) return {};
      console() << text::kHlCopyFailed << std::endl;
      write_failure(printer, copied);
      return {};
    }
  }
  const std::uint32_t stop = milliseconds_now();
  // Unsigned arithmetic: a clock wrap still gives the elapsed time. Whole-file
  // copies are the system's own, with no transfers of ours to count.
  return {true, stop - start, 0};
}
