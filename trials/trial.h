// One timed trial of a copy method: a fresh work directory of test files on
// the drive, the method's timed copy phase, the copies written out of the
// system's cache (timed apart) and read back, and the directory removed.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "console/console_printer.h"
#include "platform/directories.h"
#include "platform/failure.h"
#include "platform/volume_description.h"
#include "trials/copy_method.h"
#include "trials/pseudo_random.h"

// What the run knows of one drive string from its first test on, taken when
// its disk line was printed.
struct Drive {
  // The disk line's query: the free space the test run checks against, and
  // the figures the record keeps.
  VolumeFigures figures;
  // The volume described at the same test, its figures those of the disk
  // line; absent when it could not be described.
  std::optional<VolumeDescription> description;
  // The volume the drive string led to. A trial on the drive first checks
  // that it still leads there; absent when it could not be taken, and then
  // not checked.
  std::optional<VolumeIdentity> identity;
  // The drive's folder, held from the disk line to the run's end: each trial
  // checks that the drive string still leads to it, and makes and removes its
  // work directory in it. Holds none when it could not be opened; the trial
  // then holds the folder for itself.
  DirectoryHandle folder;
};

// Drive string (exact bytes, so C:, c: and C:\ are three keys) to what the
// run knows of it; a drive whose disk line could not be printed has no entry.
// Entries are only ever added.
using Drives = std::map<std::string, Drive>;

// What trials carry from one to the next.
struct TrialState {
  // Test-file content is drawn from here.
  Generator generator;
  Drives drives;
};

// How a trial ended.
enum class TrialOutcome {
  Done,        // a speed was printed
  InitFailed,  // "Init Failed"
  OpenFailed,  // LL: "open from failed", "open to failed"
  CopyFailed,  // a copy failed, or did not read back as written
  ZeroMs,      // every copy succeeded within one clock step: no speed
  Interrupted,
};

// What one trial came to.
struct TrialResult {
  TrialOutcome outcome = TrialOutcome::CopyFailed;
  // Done: the timed section; 0 otherwise.
  std::uint32_t elapsed_ms = 0;
  // The copy phase's first transfer through the system's file cache (see
  // CopyPhaseResult), also when the read-back failed after it.
  std::uint32_t cached_length = 0;
  // After the clock: the milliseconds the trial took to write its copies out
  // of the system's cache to the medium before reading them back; empty where
  // the system offers no such write-out or the trial did not get that far.
  std::optional<std::uint32_t> write_out_ms;
  // A trial that got through but could not remove its work directory: the
  // directory as the system names it and the reason (note_left_behind in
  // trials/work_directory.h); success otherwise.
  Outcome left_behind = success();

  // Every copy was made and read back as written, with a speed or without.
  bool copied() const { return outcome == TrialOutcome::Done || outcome == TrialOutcome::ZeroMs; }
};

// Runs one trial of the method. A drive no longer on the volume it was first
// measured on fails the trial at once with "Init Failed", and nothing is made
// there. A trial is Done only when every copy also read back as written; any
// other outcome has been reported on the console (or the run was interrupted,
// and the work directory removed). buffer_kib is the transfer buffer of a
// method that takes one: at least 1 and below kBufferKibLimit.
TrialResult run_trial(ConsolePrinter& printer, TrialState& state, const CopyMethodRow& method,
                      const std::string& drive, std::int64_t file_kib, std::int32_t file_count,
                      std::int64_t buffer_kib = 0);
