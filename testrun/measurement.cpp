#include "testrun/measurement.h"

#include <iomanip>

#include "platform/console.h"
#include "platform/interruption.h"
#include "testrun/drive_space.h"
#include "testrun/size_strings.h"
#include "testrun/volume_notes.h"
#include "trials/notes.h"
#include "trials/progress.h"
#include "trials/trial.h"
#include "trials/texts.h"

namespace {

// A size the trials can use: at least 1 KiB. Zero, negative and unparsable
// sizes all get the same message.
bool convert_size(const std::string& text, std::int64_t& kib) {
  kib = parse_size_kib(text);
  if (kib < 1) {
    console() << text::kBadSize << std::endl;
    return false;
  }
  return true;
}

// The console header, then the report's, whose fields are padded to columns.
// A method with a buffer shows its size after the file size.
void write_headers(const TestLine& test, bool takes_buffer, const char* keyword,
                   std::ostream& report) {
  std::ostream& out = console();
  out << keyword << " " << test.drive << " " << test.file_size;
  if (takes_buffer) out << text::kHeaderBuffer << test.buffer_size << text::kHeaderBufferEnd;
  out << " " << test.file_count << text::kHeaderFiles << test.trial_count << text::kHeaderTrials
      << std::endl;
  report << keyword << " " << test.drive << std::setw(5) << test.file_size;
  if (takes_buffer)
    report << text::kHeaderBuffer << std::setw(4) << test.buffer_size << text::kHeaderBufferEnd;
  report << " " << std::setw(4) << test.file_count << text::kHeaderFiles << std::setw(2)
         << test.trial_count << text::kReportHeaderEnd;
}

// One line on standard error when copies of an LL test went through the page
// cache, so that the user knows what its figures measured. The console and
// the report stay as they are.
void note_cached_copies(const std::string& drive, std::uint32_t length) {
  if (length == 0) return;
  const std::string transfers = length % 1024 == 0 ? std::to_string(length / 1024) + " KiB"
                                                   : std::to_string(length) + "-byte";
  write_note("no direct I/O for " + transfers + " transfers on '" + drive +
             "': this test's figures include the page cache");
}

void write_average(std::ostream& out, const std::string& speed, const std::string& seconds) {
  out << text::kAverage << std::setw(7) << speed << text::kSpeedUnit << std::setw(7) << seconds
      << text::kSecondsUnit;
}

}  // namespace

bool run_test(const TestLine& test, RunContext& run) {
  std::ostream& report = run.report;
  const CopyMethodRow& row = copy_method_row(test.method);
  const std::int32_t file_count = test.file_count;
  std::int64_t free_kib = 0;
  if (!drive_free_kib(test.drive, run, free_kib)) return false;
  const std::optional<VolumeDescription>& volume = drive_volume(test.drive, run);

  std::int64_t file_kib = 0;
  if (!convert_size(test.file_size, file_kib)) return false;
  std::int64_t buffer_kib = 0;
  if (row.takes_buffer) {
    if (!convert_size(test.buffer_size, buffer_kib)) return false;
    if (buffer_kib >= kBufferKibLimit) {
      console() << text::kBadSize << std::endl;
      return false;
    }
  }
  if (!check_free_space(free_kib, file_kib, file_count)) return false;

  write_headers(test, row.takes_buffer, row.keyword, report);
  if (test.trial_count < 1) return false;

  std::int32_t good_trials = 0;
  // The length of the first transfer that went through the system's file
  // cache in any trial of this test; 0 while none did.
  std::uint32_t cached_length = 0;
  double total_seconds = 0.0;
  // The good trials' write-outs after the clock, while every one was measured.
  bool written_out = true;
  double write_out_seconds = 0.0;
  const double file_mb = static_cast<double>(file_kib) * (1.0 / 1024);
  progress_begin_test(test.trial_count);
  // An interrupted run starts no further trial and prints no average.
  for (std::int32_t i = 0; i < test.trial_count && !interruption_requested(); ++i) {
    progress_begin_trial(i);
    console() << text::kTrialOpen << i << text::kTrialClose;
    const CopyPhaseResult trial =
        run_trial(run.trials, row, test.drive, file_kib, file_count, buffer_kib);
    if (cached_length == 0) cached_length = trial.cached_length;
    const double seconds = static_cast<double>(trial.elapsed_ms) / 1000.0;
    if (!trial.ok || seconds == 0.0) continue;  // failed, or faster than one clock step
    const double speed = file_mb * file_count / seconds;
    console() << text::kResult << std::setw(7) << figure(run, speed) << text::kSpeedUnit
              << figure(run, seconds) << text::kSecondsUnit
              << std::endl;
    ++good_trials;
    total_seconds += seconds;
    written_out = written_out && trial.write_out_ms.has_value();
    if (trial.write_out_ms) write_out_seconds += static_cast<double>(*trial.write_out_ms) / 1000.0;
  }
  progress_end_test();
  note_cached_copies(test.drive, cached_length);
  if (volume) {
    const std::string cache_note = volume_cache_note(test.drive, *volume);
    if (!cache_note.empty()) write_note(cache_note);
  }
  // After a trial faster than the clock the console's line is still open;
  // on a terminal the test's notes come now all the same.
  release_held_notes_on_a_shared_terminal();
  if (good_trials < 1 || interruption_requested()) return false;
  if (row.leaves_copies_cached && written_out) {
    const std::string late_note = write_out_note(
        row.keyword, test.drive,
        {good_trials, file_mb * file_count * good_trials, total_seconds, write_out_seconds});
    if (!late_note.empty()) write_note(late_note);
  }

  const std::string average_speed = figure(run, file_mb * file_count * good_trials / total_seconds);
  const std::string average_seconds = figure(run, total_seconds / good_trials);
  write_average(console(), average_speed, average_seconds);
  console() << std::endl;
  write_average(report, average_speed, average_seconds);
  report << text::kReportLineEnd;
  return true;
}
