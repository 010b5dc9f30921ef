#include "testrun/test_run.h"

#include <algorithm>
#include <climits>
#include <iomanip>

#include "platform/console.h"
#include "platform/interruption.h"
#include "testrun/drive_space.h"
#include "testrun/shared_lines.h"
#include "testrun/size_strings.h"
#include "testrun/volume_notes.h"
#include "trials/notes.h"
#include "trials/progress.h"
#include "trials/trial.h"
#include "trials/verify_copies.h"
#include "trials/texts.h"
#include "trials/work_directory.h"

namespace {

// Where a note finds the test: its configuration line, or the built-in test.
std::string test_named(const TestRecord& record) {
  return record.line ? "line '" + *record.line + "'" : std::string("the built-in test");
}

// A size the trials can use: at least 1 KiB. Zero, negative and unparsable
// sizes all get the same console message; standard error says which field of
// which test, and what is wrong with it.
bool convert_size(const char* field, const std::string& text, const TestRecord& record,
                  std::int64_t& kib) {
  kib = parse_size_kib(text);
  if (kib < 1) {
    console() << text::kBadSize << std::endl;
    write_note(std::string(field) + " '" + text + "' of " + test_named(record) + ": " +
               size_refusal(text));
    return false;
  }
  return true;
}

// The console header. A method with a buffer shows its size after the file size.
void write_header(const TestLine& test, bool takes_buffer, const char* keyword) {
  std::ostream& out = console();
  out << keyword << " " << test.drive << " " << test.file_size;
  if (takes_buffer) out << text::kHeaderBuffer << test.buffer_size << text::kHeaderBufferEnd;
  out << " " << test.file_count << text::kHeaderFiles << test.trial_count << text::kHeaderTrials
      << std::endl;
}

// The record keeps the first note that told a test's figures went through a
// cache, with the note's line as written.
void keep_cache_note(TestRecord& record, const char* reason, const std::string& note) {
  if (!record.cache_note) record.cache_note = CacheNote{reason, note_line(note)};
}

// The reason a volume's own cache gives in the record.
const char* volume_cache_reason(VolumeCache cache) {
  switch (cache) {
    case VolumeCache::UserSpace: return "user_space_driver";
    case VolumeCache::Network: return "network_file_system";
    case VolumeCache::Memory: return "memory";
    case VolumeCache::None: break;
  }
  return "none";
}

// One line on standard error when copies of an LL test went through the page
// cache, so that the user knows what its figures measured; the record keeps
// it. The console and the report stay as they are.
void note_cached_copies(const std::string& drive, std::uint32_t length, TestRecord& record) {
  if (length == 0) return;
  const std::string transfers = length % 1024 == 0 ? std::to_string(length / 1024) + " KiB"
                                                   : std::to_string(length) + "-byte";
  const std::string note = "no direct I/O for " + transfers + " transfers on '" + drive +
                           "': this test's figures include the page cache";
  write_note(note);
  keep_cache_note(record, "no_direct_io", note);
}

// A size string in bytes, when it converts to a size the trials can use and
// the bytes fit 64 bits.
std::optional<std::int64_t> size_bytes(const std::string& text) {
  const std::int64_t kib = parse_size_kib(text);
  if (kib < 1 || kib > INT64_MAX / 1024) return std::nullopt;
  return kib * 1024;
}

// The test's record as its line gives it, before any check.
TestRecord record_of_line(const TestLine& test, bool takes_buffer) {
  TestRecord record;
  record.method = test.method;
  record.drive = test.drive;
  record.file_size = test.file_size;
  record.file_size_bytes = size_bytes(test.file_size);
  if (takes_buffer) {
    record.buffer_size = test.buffer_size;
    record.buffer_size_bytes = size_bytes(test.buffer_size);
  }
  record.file_count = test.file_count;
  record.trial_count = test.trial_count;
  return record;
}

// Ends a test at a check: the record says which, and what the console said.
bool stop_test(TestRecord& record, TestStop check, const std::string& console_text) {
  record.stopped_at = check;
  record.console_text = console_text;
  return false;
}


}  // namespace

bool run_test(const TestLine& test, RunContext& run, const std::optional<std::string>& line) {
  const CopyMethodRow& row = copy_method_row(test.method);
  const std::int32_t file_count = test.file_count;
  // The run's record of this test; nothing else adds to the run's record
  // while the test runs.
  run.record.tests.push_back(record_of_line(test, row.takes_buffer));
  TestRecord& record = run.record.tests.back();
  record.line = line;
  std::int64_t free_kib = 0;
  if (!drive_free_kib(test.drive, run, record, free_kib))
    return stop_test(record, TestStop::Drive, text::kNoDriveInformation + test.drive);

  std::int64_t file_kib = 0;
  if (!convert_size("file size", test.file_size, record, file_kib))
    return stop_test(record, TestStop::Size, text::kBadSize);
  std::int64_t buffer_kib = 0;
  if (row.takes_buffer) {
    if (!convert_size("buffer size", test.buffer_size, record, buffer_kib))
      return stop_test(record, TestStop::Buffer, text::kBadSize);
    if (buffer_kib >= kBufferKibLimit) {
      console() << text::kBadSize << std::endl;
      write_note("buffer size '" + test.buffer_size + "' of " + test_named(record) +
                 ": is 4 GiB or more; the largest buffer is 4194303K");
      return stop_test(record, TestStop::Buffer, text::kBadSize);
    }
  }
  if (!check_free_space(test.drive, free_kib, file_kib, file_count))
    return stop_test(record, TestStop::Space, text::kNotEnoughSpace);

  write_header(test, row.takes_buffer, row.keyword);
  if (test.trial_count < 1) return stop_test(record, TestStop::Trials, "");
  record.copy_path = copy_path_text(row, buffer_kib);

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
    const std::size_t notes_before = notes_so_far();
    const TrialResult trial =
        run_trial(run.trials, row, test.drive, file_kib, file_count, buffer_kib);
    if (cached_length == 0) cached_length = trial.cached_length;
    TrialRecord& trial_record = record.trials.emplace_back();
    trial_record.index = i;
    trial_record.outcome = trial.outcome;
    trial_record.write_out_ms = trial.write_out_ms;
    const bool copied =
        trial.outcome == TrialOutcome::Done || trial.outcome == TrialOutcome::ZeroMs;
    if (copied) {
      trial_record.milliseconds = trial.elapsed_ms;
      // Every copy was read back whole and found as written (a count below
      // one makes no files); the free-space check has kept the product small.
      if (kReadsBack)
        trial_record.bytes_read_back = static_cast<std::uint64_t>(file_kib) * 1024 *
                                       static_cast<std::uint64_t>(std::max(file_count, 0));
    }
    if (trial.outcome != TrialOutcome::Done) {  // failed, or faster than one clock step
      if (!copied && notes_so_far() > notes_before)
        trial_record.reason = note_line_at(notes_before);
      note_left_behind(trial.left_behind);
      continue;
    }
    const double seconds = static_cast<double>(trial.elapsed_ms) / 1000.0;
    const double speed = file_mb * file_count / seconds;
    trial_record.seconds = seconds;
    trial_record.mb_per_s = speed;
    trial_record.seconds_text = figure(run, seconds);
    trial_record.mb_per_s_text = figure(run, speed);
    console() << text::kResult << std::setw(7) << trial_record.mb_per_s_text << text::kSpeedUnit
              << trial_record.seconds_text << text::kSecondsUnit
              << std::endl;
    // Once the trial's line has ended.
    note_left_behind(trial.left_behind);
    ++good_trials;
    total_seconds += seconds;
    written_out = written_out && trial.write_out_ms.has_value();
    if (trial.write_out_ms) write_out_seconds += static_cast<double>(*trial.write_out_ms) / 1000.0;
  }
  progress_end_test();
  note_cached_copies(test.drive, cached_length, record);
  if (record.volume) {
    const std::string cache_note = volume_cache_note(test.drive, *record.volume);
    if (!cache_note.empty()) {
      write_note(cache_note);
      keep_cache_note(record, volume_cache_reason(record.volume->cache), cache_note);
    }
  }
  // After a trial faster than the clock the console's line is still open;
  // on a terminal the test's notes come now all the same.
  release_held_notes_on_a_shared_terminal();
  if (good_trials < 1 || interruption_requested()) return false;
  if (row.leaves_copies_cached && written_out) {
    const std::string late_note = write_out_note(
        row.keyword, test.drive,
        {good_trials, file_mb * file_count * good_trials, total_seconds, write_out_seconds});
    if (!late_note.empty()) {
      write_note(late_note);
      keep_cache_note(record, "write_out_after_clock", late_note);
    }
  }

  const double speed = file_mb * file_count * good_trials / total_seconds;
  const double seconds = total_seconds / good_trials;
  record.average = AverageRecord{speed, seconds, figure(run, speed), figure(run, seconds)};
  console() << average_text(*record.average) << std::endl;
  return true;
}
