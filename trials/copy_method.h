// The copy methods a test can time, as data: one row per method, and the
// timed copy phase each row names.
#pragma once
#include <cstdint>
#include <string>

enum class CopyMethod { HL, LL };

// What a timed copy phase works on: a trial's work directory of test files,
// and the transfer buffer of a method that takes one.
struct CopyJob {
  std::string work_directory;
  std::int32_t file_count = 0;
  std::int64_t file_kib = 0;
  std::int64_t buffer_kib = 0;  // 1 KiB to below 4 GiB; 0 for a method without a buffer
  void* buffer = nullptr;       // buffer_kib KiB, aligned for the cache bypass
  // Where a copy phase records the length of its first transfer that went
  // through the system's file cache because the volume refused direct I/O
  // for it (or keeps its files in memory), unless one is recorded already.
  std::uint32_t* cached_copy_length = nullptr;
};

// A timed copy phase: copies test file i to copy file i of the job's work
// directory for every i, sets `elapsed_ms` and returns true; or reports the
// failure on the console and returns false. Once the run is interrupted it
// stops without a report.
using TimedCopy = bool (*)(const CopyJob& job, std::uint32_t& elapsed_ms);

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
};

const CopyMethodRow& copy_method_row(CopyMethod method);

// The row whose keyword the line begins with, or nullptr.
const CopyMethodRow* copy_method_of_line(const std::string& line);

// HL: every test file copied beside itself with the system's whole-file copy.
bool copy_all_hl(const CopyJob& job, std::uint32_t& elapsed_ms);

// LL: every file opened with the cache bypassed before the clock starts, then
// copied through the job's buffer.
bool copy_all_ll(const CopyJob& job, std::uint32_t& elapsed_ms);
