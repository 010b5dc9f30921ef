// One timed trial of a copy method: a fresh work directory of test files on
// the drive, the method's timed copy phase, the copies written out of the
// system's cache (timed apart) and read back, and the directory removed.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "console/console_printer.h"
#include "platform/volume_description.h"
#include "trials/copy_method.h"
#include "trials/pseudo_random.h"

// What trials carry from one to the next.
struct TrialState {
  // Test-file content is drawn from here.
  Generator generator;
  // The volume each drive string led to when its disk line was measured
  // (exact bytes, as the drive cache keys them). A trial on a drive found
  // here first checks that the drive still leads there; a drive whose
  // identity could not be taken is not found and not checked.
  std::map<std::string, VolumeIdentity> volumes;
};

// Runs one trial of the method. A drive no longer on the volume it was first
// measured on fails the trial at once with "Init Failed", and nothing is made
// there. Returns what its copy phase measured, ok
// only when every copy also read back as written; after a failure the trial
// has reported on the console (or an interruption, after which the work
// directory is removed) ok is false and elapsed_ms 0, while cached_length
// still tells of a copy phase that went through the cache before the
// read-back failed, write_out_ms of the write-out before it, and failed_at
// where the trial stopped. buffer_kib is the transfer buffer of a method that
// takes one: at least 1 and below kBufferKibLimit.
CopyPhaseResult run_trial(ConsolePrinter& printer, TrialState& state, const CopyMethodRow& method,
                          const std::string& drive, std::int64_t file_kib, std::int32_t file_count,
                          std::int64_t buffer_kib = 0);
