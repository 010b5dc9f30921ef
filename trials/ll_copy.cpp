#include <ostream>
#include <vector>

#include "console/console_printer.h"
#include "console/texts.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "trials/copy_method.h"
#include "trials/work_directory.h"

namespace {

// Test file i and copy file i, open for one copy. A source whose destination
// would not open is the last pair's and has no destination.
struct FilePair {
  OpenFile source;
  OpenFile destination;
};

// The pairs a copy phase has opened, closed source i then destination i on
// every path out of it (the order is kept by hand: a vector's own destruction
// order is the library's choice).
struct OpenPairs {
  std::vector<FilePair> pairs;
  OpenPairs() = default;
  OpenPairs(const OpenPairs&) = delete;
  OpenPairs& operator=(const OpenPairs&) = delete;
  ~OpenPairs() {
    for (FilePair& pair : pairs) {
      pair.source = OpenFile();
      pair.destination = OpenFile();
    }
  }
};

// Opens one file of a pair into its owner; false after the console's text
// for the failure and its note.
bool open_into(ConsolePrinter& printer, OpenFile& owner, const std::string& path, FileAccess access,
               FileDisposition disposition, const char* failed_text) {
  Outcome failed;
  owner = OpenFile(path, access, disposition, &failed);
  if (owner.handle() != kInvalidFile) return true;
  console() << failed_text << std::endl;
  write_failure(printer, failed);
  return false;
}

// Reads then writes `length` bytes of copy i; a failed read is not followed by
// its write. Once the run is interrupted, nothing more is transferred.
Outcome transfer(const std::string& work_directory, std::int32_t i, FileHandle source,
                 FileHandle destination, void* buffer, std::uint32_t length) {
  if (interruption_requested()) return failure("copy", "", "interrupted");
  Outcome outcome = read_file(source, buffer, length);
  if (!outcome) {
    outcome.path = system_path(test_file_path(work_directory, i));
    return outcome;
  }
  outcome = write_file(destination, buffer, length);
  if (!outcome) outcome.path = system_path(copy_file_path(work_directory, i));
  return outcome;
}

}  // namespace

CopyPhaseResult copy_all_ll(ConsolePrinter& printer, const CopyJob& job) {
  const std::string& work_directory = job.work_directory;
  const std::int32_t file_count = job.file_count;
  const std::int64_t buffer_kib = job.buffer_kib;
  void* const buffer = job.buffer;
  const std::uint32_t buffer_bytes = transfer_bytes(buffer_kib);
  const std::int64_t full_buffers = job.file_kib / buffer_kib;
  const std::uint32_t tail_bytes = transfer_bytes(job.file_kib % buffer_kib);

  OpenPairs open;
  std::vector<FilePair>& pairs = open.pairs;
  if (file_count > 0) pairs.reserve(static_cast<std::size_t>(file_count));

  // Every file is opened before the clock starts.
  for (std::int32_t i = 0; i < file_count; ++i) {
    if (interruption_requested()) return {};
    FilePair& pair = pairs.emplace_back();
    if (!open_into(printer, pair.source, test_file_path(work_directory, i), FileAccess::Read,
                   FileDisposition::OpenExisting, text::kLlOpenFromFailed) ||
        !open_into(printer, pair.destination, copy_file_path(work_directory, i), FileAccess::Write,
                   FileDisposition::CreateNew, text::kLlOpenToFailed)) {
      CopyPhaseResult failed;
      failed.failed_at = TrialFailure::Open;
      return failed;
    }
    prepare_transfers(pair.source.handle(), buffer_bytes);
    prepare_transfers(pair.destination.handle(), buffer_bytes);
  }

  take_cached_transfer_length();  // the test files' writes do not count
  std::uint64_t done = 0;  // bytes copied, for the progress indicator
  const std::uint32_t start = milliseconds_now();
  for (std::int32_t i = 0; i < file_count; ++i) {
    const FileHandle source = pairs[i].source.handle();
    const FileHandle destination = pairs[i].destination.handle();
    Outcome ok;
    for (std::int64_t n = 0; ok && n < full_buffers; ++n) {
      ok = transfer(work_directory, i, source, destination, buffer, buffer_bytes);
      done += buffer_bytes;
      printer.counters().bytes_done(done);
    }
    // The tail pair is issued for every file, with a length of 0 included.
    if (ok) ok = transfer(work_directory, i, source, destination, buffer, tail_bytes);
    done += tail_bytes;
    if (!ok) {
      if (!interruption_requested()) {
        console() << text::kLlCopyFailed << std::endl;
        write_failure(printer, ok);
      }
      return {};
    }
    // A copy whose data did not reach the medium failed, as a write that
    // failed would have.
    Outcome flushed = flush_file(destination);
    if (!flushed) {
      flushed.path = system_path(copy_file_path(work_directory, i));
      console() << text::kLlCopyFailed << std::endl;
      write_failure(printer, flushed);
      return {};
    }
    printer.counters().bytes_done(done);
  }
  const std::uint32_t stop = milliseconds_now();
  // Unsigned arithmetic: a clock wrap still gives the elapsed time.
  return {true, stop - start, take_cached_transfer_length()};
}
