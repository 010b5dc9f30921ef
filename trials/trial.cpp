#include "trials/trial.h"

#include <ostream>
#include <utility>

#include "console/console_printer.h"
#include "console/texts.h"
#include "platform/console.h"
#include "platform/directories.h"
#include "platform/interruption.h"
#include "platform/memory.h"
#include "trials/pattern_files.h"
#include "trials/verify_copies.h"
#include "trials/work_directory.h"
#include "trials/write_out.h"

namespace {

// The note of a drive whose volume was taken away since its disk line.
void note_volume_left(ConsolePrinter& printer, const std::string& drive) {
  write_note(printer,
             "'" + drive + "' is no longer on the volume first measured (was it unmounted?)");
}

// Whether the drive still leads to the volume whose identity its disk line took.
bool still_on_first_identity(ConsolePrinter& printer, const Drive& first,
                             const std::string& drive) {
  if (!first.identity) return true;
  VolumeIdentity now;
  const Outcome queried = query_volume_identity(drive, now);
  if (queried && now == *first.identity) return true;
  console() << text::kInitFailed << std::endl;
  if (!queried)
    write_failure(printer, queried);
  else
    note_volume_left(printer, drive);
  return false;
}

// Whether the drive still leads to the volume its disk line measured. After
// an unmount the drive's path leads to whatever lies underneath, and a trial
// there would time another disk under this drive's name. When it does not
// (or the volume cannot be asked), the trial's line ends in "Init Failed"
// and standard error says why.
bool still_on_first_volume(ConsolePrinter& printer, const TrialState& state,
                           const std::string& drive) {
  const auto first = state.drives.find(drive);
  if (first == state.drives.end()) return true;
  // The folder held since the disk line: the drive string must still lead
  // to it, not merely to the same volume.
  if (first->second.folder) {
    const Outcome same = check_drive_directory(first->second.folder.get(), drive);
    if (same) return still_on_first_identity(printer, first->second, drive);
    console() << text::kInitFailed << std::endl;
    if (same.reason == kDriveUnmounted)
      note_volume_left(printer, drive);
    else
      write_failure(printer, same);
    return false;
  }
  return still_on_first_identity(printer, first->second, drive);
}

// A copy phase that failed, or got through and then read back wrong.
TrialOutcome outcome_of_failed(const CopyPhaseResult& timed) {
  if (timed.ok) return TrialOutcome::CopyFailed;
  switch (timed.failed_at) {
    case TrialFailure::Open: return TrialOutcome::OpenFailed;
    case TrialFailure::Copy: return TrialOutcome::CopyFailed;
    case TrialFailure::Interrupted: return TrialOutcome::Interrupted;
  }
  return TrialOutcome::CopyFailed;
}

}  // namespace

TrialResult run_trial(ConsolePrinter& printer, TrialState& state, const CopyMethodRow& method,
                      const std::string& drive, std::int64_t file_kib, std::int32_t file_count,
                      std::int64_t buffer_kib) {
  TrialResult result;
  console() << text::kPreparing;
  if (!still_on_first_volume(printer, state, drive)) {
    result.outcome = TrialOutcome::InitFailed;
    return result;
  }
  const std::string work_directory = work_directory_path(drive);
  // The drive's folder, held since the disk line (or, where the run holds
  // none, from here to the trial's end): the work directory is made in it
  // and removed from it, never through the drive's path again. Where it
  // cannot be held the directory is made by its path, and its creation tells
  // why that fails.
  const auto known = state.drives.find(drive);
  const bool run_holds_folder = known != state.drives.end() && known->second.folder;
  const DirectoryHandle drive_folder(run_holds_folder ? kNoDirectory
                                                      : open_drive_directory(drive));

  // Prepare: the transfer buffer (kept to the trial's end and released on
  // every path), the work directory and its test files.
  const std::uint32_t buffer_bytes = method.takes_buffer ? transfer_bytes(buffer_kib) : 0;
  const IoBuffer buffer = method.takes_buffer ? IoBuffer(buffer_bytes) : IoBuffer();
  Outcome directory;
  DirectoryHandle held;
  if (method.takes_buffer && buffer.bytes() == nullptr)
    directory = buffer_failure(buffer_bytes);
  else
    held = open_work_directory(work_directory, file_count, directory);
  const bool created = static_cast<bool>(held);
  const DirectoryInProgress in_progress(created ? work_directory : std::string());
  const std::uint32_t content_state = state.generator.state;  // the test files are drawn from here
  const std::uint64_t file_bytes = static_cast<std::uint64_t>(file_kib) * 1024u;
  printer.begin_phase(ProgressPhase::Preparing, file_count, file_bytes);
  const bool prepared =
      created && make_test_files(printer, state.generator, work_directory, file_kib, file_count);
  printer.end_phase();
  if (!prepared) {
    result.outcome = TrialOutcome::InitFailed;
    if (interruption_requested()) {
      end_interrupted_trial(printer, work_directory, std::move(held));
      result.outcome = TrialOutcome::Interrupted;
    } else {
      console() << text::kInitFailed << std::endl;
      write_failure(printer, directory);
      if (held) note_kept_for_inspection(printer, work_directory, held);
    }
    return result;
  }
  console() << text::kTesting;

  // Time: the method's copy phase.
  printer.begin_phase(ProgressPhase::Copying, file_count, file_bytes);
  const CopyPhaseResult timed = method.timed_copy(
      printer, {work_directory, file_count, file_kib, buffer_kib, buffer.bytes()});
  printer.end_phase();

  result.cached_length = timed.cached_length;

  // After the clock, every copy goes to the medium first, timed alone, so
  // that the read-back below finds nothing left to write.
  // A copy whose data did not reach the medium failed as a copy.
  Outcome written_out;
  if (timed.ok) {
    printer.begin_phase(ProgressPhase::WritingOut, file_count, file_bytes);
    result.write_out_ms = write_out_copies(printer, work_directory, file_count, written_out);
    printer.end_phase();
    if (!written_out) {
      console() << method.copy_failed << std::endl;
      write_failure(printer, written_out);
    }
  }
  const bool copied = timed.ok && written_out;

  // Verify: a copy that does not hold what was written fails the trial.
  if (copied) printer.begin_phase(ProgressPhase::ReadingBack, file_count, file_bytes);
  const bool verified = copied && files_read_back_as_written(printer, work_directory, file_kib,
                                                             file_count, content_state);
  printer.end_phase();
  if (copied && !verified && !interruption_requested())
    console() << method.copy_failed << std::endl;

  // Remove: a trial that got through leaves nothing behind, or says what
  // stays; an interrupted one removes what it made, a failed one leaves its
  // files to be looked at and says where and how much. Removal goes through
  // the held directory.
  if (verified) {
    result.left_behind =
        left_behind(work_directory, remove_held_directory(std::move(held), work_directory));
    console() << text::kDone;
    result.outcome = timed.elapsed_ms == 0 ? TrialOutcome::ZeroMs : TrialOutcome::Done;
    result.elapsed_ms = timed.elapsed_ms;
    return result;
  }
  // A copy that read back wrong fails as a copy.
  result.outcome = outcome_of_failed(timed);
  if (interruption_requested()) {
    end_interrupted_trial(printer, work_directory, std::move(held));
    result.outcome = TrialOutcome::Interrupted;
  } else {
    note_kept_for_inspection(printer, work_directory, held);
  }
  return result;
}
