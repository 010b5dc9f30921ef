// The record of a run, as plain values: every test in configuration order,
// those stopped at a check included, with what each trial came to. The test
// run fills it as it goes; the driver writes it out at the run's end.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/volume_description.h"
#include "trials/copy_method.h"
#include "trials/trial.h"

struct TrialRecord {
  std::int32_t index = 0;
  TrialOutcome outcome = TrialOutcome::CopyFailed;
  std::optional<std::uint32_t> milliseconds;  // the timed section; absent when it failed
  // Done only: the figures, and the same as printed (without their padding).
  std::optional<double> seconds;
  std::optional<double> mb_per_s;
  std::string seconds_text;
  std::string mb_per_s_text;
  std::optional<std::uint64_t> bytes_read_back;  // absent when the read-back did not run
  std::optional<std::uint32_t> write_out_ms;     // absent where not measured
  // A trial that got no speed: the first note on standard error it wrote,
  // its reason, as printed; empty when it wrote none.
  std::string reason;
};

// The check that stopped a test before its trials.
enum class TestStop { None, Drive, Size, Buffer, Space, Trials };

// A stderr note that told the test's figures went through a cache.
struct CacheNote {
  std::string reason;  // "no_direct_io", "user_space_driver", "network_file_system"
  std::string text;    // the note's line as printed, without its line end
};

// The disk line a drive's first test printed: its figures as printed.
struct DiskLineRecord {
  std::string total_gb_text;
  std::string free_gb_text;
};

struct AverageRecord {
  double mb_per_s = 0.0;
  double seconds = 0.0;
  std::string mb_per_s_text;
  std::string seconds_text;
};

struct TestRecord {
  std::optional<std::string> line;  // as written; absent for the built-in default test
  CopyMethod method = CopyMethod::HL;
  std::string drive;
  std::string file_size;
  std::string buffer_size;  // empty for a method without a buffer
  std::optional<std::int64_t> file_size_bytes;
  std::optional<std::int64_t> buffer_size_bytes;
  std::int32_t file_count = 0;
  std::int32_t trial_count = 0;
  // Printed by this test, the first of its drive string.
  std::optional<DiskLineRecord> disk_line;
  TestStop stopped_at = TestStop::None;
  std::string console_text;  // the stopping check's console text, if it printed one
  // The drive's volume, described at its first test; absent when it could
  // not be.
  std::optional<VolumeDescription> volume;
  std::optional<CacheNote> cache_note;
  std::string copy_path;  // empty when the test stopped
  std::vector<TrialRecord> trials;
  std::optional<AverageRecord> average;
};

// Whether the test printed its headers: it passed every check before them.
inline bool headers_printed(const TestRecord& test) {
  return test.stopped_at == TestStop::None || test.stopped_at == TestStop::Trials;
}

struct RunRecord {
  // Calendar seconds (UTC) when the run started and ended.
  std::int64_t start_seconds = 0;
  std::int64_t end_seconds = 0;
  std::string banner;   // as printed, without its line end
  std::string os_line;  // as printed, without its line end
  std::vector<TestRecord> tests;
};
