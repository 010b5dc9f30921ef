// The copy methods a test can time, as data: one row per method, and the
// timed copy phase each row names.
#pragma once
#include <cstdint>
#include <string>


enum class CopyMethod { HL, LL };

// Buffer sizes from this many KiB up (4 GiB) do not fit a 32-bit byte count.
constexpr std::int64_t kBufferKibLimit = 4194304;

// The bytes in `kib` KiB, for a count of KiB from 0 to below kBufferKibLimit.
constexpr std::uint32_t transfer_bytes(std::int64_t kib) {
  return static_cast<std::uint32_t>(kib) * 1024u;
}

// What a timed copy phase works on: a trial's work directory of test files,
// and the transfer buffer of a method that takes one.
struct CopyJob {
  std::string work_directory;
  std::int32_t file_count = 0;
  std::int64_t file_kib = 0;
  std::int64_t buffer_kib = 0;  // 1 KiB to below 4 GiB; 0 for a method without a buffer
  void* buffer = nullptr;       // buffer_kib KiB, aligned for the cache bypass
};

// Where a copy phase that got no speed stopped.
enum class TrialFailure {
  Open,         // a file of a pair could not be opened before the clock
  Copy,         // a copy failed
  Interrupted,  // the run was interrupted during the phase
};

// What a timed copy phase measured, and nothing else: its trial adds the
// write-out, the read-back and the removal.
struct CopyPhaseResult {
  // Every file was copied. Otherwise the failure is reported on the console,
  // or the run was interrupted, and elapsed_ms is 0.
  bool ok = false;
  std::uint32_t elapsed_ms = 0;
  // The length of the phase's first transfer that went through the system's
  // file cache because the volume refused direct I/O for it (or keeps its
  // files in memory); 0 when none did.
  std::uint32_t cached_length = 0;
  // When not ok: where it failed.
  TrialFailure failed_at = TrialFailure::Copy;
};

// A timed copy phase: copies test file i to copy file i of the job's work
// directory for every i. Once the run is interrupted it stops without a report.
using TimedCopy = CopyPhaseResult (*)(const CopyJob& job);

struct CopyMethodRow {
  CopyMethod method;
  // Opens a test line of the configuration and the test's headers.
  const char* keyword;
  // The line has a buffer size field after the file size, the headers show
  // it as "(Buffer:<size>)", and the trial allocates the buffer.
  bool takes_buffer;
  TimedCopy timed_copy;
  // The console's text when a copy does not read back as it was written.
  const char* copy_failed;
  // The copy phase may stop its clock while its copies are still in the
  // system's cache, on their way to the medium: a test notes how long they
  // took to get there when that changes its figures much.
  bool leaves_copies_cached;
};

// The method's row. Every method has one; a debug build stops on one without.
const CopyMethodRow& copy_method_row(CopyMethod method);

// The row whose keyword the line begins with, the longest such keyword when
// several do (so the rows' order does not matter), or nullptr.
const CopyMethodRow* copy_method_of_line(const std::string& line);

// HL: every test file copied beside itself with the system's whole-file copy.
CopyPhaseResult copy_all_hl(const CopyJob& job);

// LL: every file opened with the cache bypassed before the clock starts, then
// copied through the job's buffer.
CopyPhaseResult copy_all_ll(const CopyJob& job);

// How the method's copies are made on this system, for the record of a run:
// the whole-file copy of HL, the cache bypass and buffer of LL ("O_DIRECT,
// 1 MiB buffer"). buffer_kib is that of a method that takes one.
std::string copy_path_text(const CopyMethodRow& method, std::int64_t buffer_kib);
