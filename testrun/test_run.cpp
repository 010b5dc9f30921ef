#include "testrun/test_run.h"

#include <iomanip>
#include <iostream>

#include "platform/console.h"
#include "platform/interruption.h"
#include "testrun/drive_space.h"
#include "testrun/size_strings.h"
#include "trials/hl_trial.h"
#include "trials/ll_trial.h"

namespace {

// A size the trials can use: at least 1 KiB. Zero, negative and unparsable
// sizes all get the same message.
bool convert_size(const std::string& text, std::int64_t& kib) {
  kib = parse_size_kib(text);
  if (kib < 1) {
    console() << "Size Type Must Be 'K' or 'M' or 'G'." << std::endl;
    return false;
  }
  return true;
}

void write_headers(bool method_hl, const std::string& drive, const std::string& file_size,
                   std::int32_t file_count, std::int32_t trial_count,
                   const std::string& buffer_size, std::ostream& report) {
  std::ostream& out = console();
  if (method_hl) {
    out << "HL " << drive << " " << file_size << " " << file_count << "File(s) " << trial_count
        << "Trial(s)" << std::endl;
    report << "HL " << drive << std::setw(5) << file_size << " " << std::setw(4) << file_count
           << "File(s) " << std::setw(2) << trial_count << "Trial(s) : ";
  } else {
    out << "LL " << drive << " " << file_size << " (Buffer:" << buffer_size << ") " << file_count
        << "File(s) " << trial_count << "Trial(s)" << std::endl;
    report << "LL " << drive << std::setw(5) << file_size << " (Buffer:" << std::setw(4)
           << buffer_size << ") " << std::setw(4) << file_count << "File(s) " << std::setw(2)
           << trial_count << "Trial(s) : ";
  }
}

// One line on standard error when copies of an LL test went through the page
// cache, so that the user knows what its figures measured. The console and
// the report stay as they are.
void note_cached_copies(const std::string& drive, std::uint32_t length) {
  if (length == 0) return;
  std::cerr << "varnoquelbit: no direct I/O for ";
  if (length % 1024 == 0)
    std::cerr << length / 1024 << " KiB";
  else
    std::cerr << length << "-byte";
  std::cerr << " transfers on '" << drive << "': this test's figures include the page cache"
            << std::endl;
}

void write_average(std::ostream& out, double speed, double seconds) {
  out << "Average:" << std::setw(7) << speed << "[MB/s] (" << std::setw(7) << seconds << "[sec])";
}

}  // namespace

bool run_test(bool method_hl, const std::string& drive, const std::string& file_size,
              std::int32_t file_count, std::int32_t trial_count, const std::string& buffer_size,
              std::ostream& report) {
  std::int64_t free_kib = 0;
  if (!drive_free_kib(drive, report, free_kib)) return false;

  std::int64_t file_kib = 0;
  if (!convert_size(file_size, file_kib)) return false;
  std::int64_t buffer_kib = 0;
  if (!method_hl) {
    if (!convert_size(buffer_size, buffer_kib)) return false;
    if (buffer_kib >= kBufferKibLimit) {
      console() << "Size Type Must Be 'K' or 'M' or 'G'." << std::endl;
      return false;
    }
  }
  if (!check_free_space(free_kib, file_kib, file_count)) return false;

  write_headers(method_hl, drive, file_size, file_count, trial_count, buffer_size, report);
  if (trial_count < 1) return false;

  if (!method_hl) take_cached_copy_length();  // left over from trials run outside a test
  std::int32_t good_trials = 0;
  double total_seconds = 0.0;
  const double file_mb = static_cast<double>(file_kib) * (1.0 / 1024);
  // An interrupted run starts no further trial and prints no average.
  for (std::int32_t i = 0; i < trial_count && !interruption_requested(); ++i) {
    console() << "[Trial " << i << "] ";
    const std::uint32_t ms = method_hl ? run_hl_trial(drive, file_kib, file_count)
                                       : run_ll_trial(drive, file_kib, file_count, buffer_kib);
    const double seconds = static_cast<double>(ms) / 1000.0;
    if (seconds == 0.0) continue;  // failed, or faster than one clock step
    const double speed = file_mb * file_count / seconds;
    console() << "  Result: " << std::setw(7) << speed << "[MB/s] (" << seconds << "[sec])"
              << std::endl;
    ++good_trials;
    total_seconds += seconds;
  }
  if (!method_hl) note_cached_copies(drive, take_cached_copy_length());
  if (good_trials < 1 || interruption_requested()) return false;

  const double average_speed = file_mb * file_count * good_trials / total_seconds;
  const double average_seconds = total_seconds / good_trials;
  write_average(console(), average_speed, average_seconds);
  console() << std::endl;
  write_average(report, average_speed, average_seconds);
  report << "\r\n";
  return true;
}
