// One test from its parameters to its line in the report: checks, headers,
// the trials of its copy method, each trial's speed and the test's average.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>

// The copy method is passed as a flag.
constexpr bool kMethodHL = true;
constexpr bool kMethodLL = false;

// Buffer sizes from this many KiB up (4 GiB) do not fit a 32-bit byte count.
constexpr std::int64_t kBufferKibLimit = 4194304;

// Runs one test and appends its line to the report. Returns true when the
// average was printed, false after any early stop (which ends only this test).
bool run_test(bool method_hl, const std::string& drive, const std::string& file_size,
              std::int32_t file_count, std::int32_t trial_count, const std::string& buffer_size,
              std::ostream& report);
