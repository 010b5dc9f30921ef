// One timed trial of a copy method: a fresh work directory of test files on
// the drive, the method's timed copy phase, the copies read back, and the
// directory removed.
#pragma once
#include <cstdint>
#include <string>

#include "trials/copy_method.h"
#include "trials/pseudo_random.h"

// What trials carry from one to the next.
struct TrialState {
  // Test-file content is drawn from here.
  Generator generator;
  // The length of the first copy transfer that went through the system's
  // file cache (see CopyJob); 0 while none did. Its reader resets it.
  std::uint32_t cached_copy_length = 0;
};

// Runs one trial. Returns the elapsed milliseconds of the copy phase, or 0
// after a failure it has reported on the console (or an interruption, after
// which the work directory is removed). buffer_kib is the transfer buffer of
// a method that takes one: at least 1 and below 4,194,304 (4 GiB).
std::uint32_t run_trial(TrialState& state, CopyMethod method, const std::string& drive, std::int64_t file_kib,
                        std::int32_t file_count, std::int64_t buffer_kib = 0);
