// One test from its parameters to its record: checks, headers, the trials of
// its copy method, each trial's speed and the test's average.
#pragma once
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "testrun/run_context.h"
#include "trials/copy_method.h"

// One test as a configuration line gives it, fields in the line's order.
struct TestLine {
  CopyMethod method = CopyMethod::HL;
  std::string drive;
  std::string file_size;
  std::string buffer_size;  // empty for a method without a buffer
  std::int32_t file_count = 0;
  std::int32_t trial_count = 0;
};

// Runs one test on the console and appends its record to the run's record,
// which keeps `line`: the configuration line as written, absent for the
// built-in default test; the reports are written from that record. Returns
// true when the average was printed, false after any early stop (which ends
// only this test).
bool run_test(const TestLine& test, RunContext& run,
              const std::optional<std::string>& line = std::nullopt);
