// Every unit test starts from a fresh fake platform and a seeded generator.
#pragma once
#include <gtest/gtest.h>

#include "console/console_printer.h"
#include "fake/fake_platform.h"
#include "trials/pseudo_random.h"
#include "trials/trial.h"

class FakePlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
  }
  TrialState trials{Generator{12345}, {}};
  // The run's printer: its filter stays on the fake console across resets.
  ConsolePrinter printer;
  // The copy methods' rows, as the test run hands them to its trials.
  const CopyMethodRow& hl = copy_method_row(CopyMethod::HL);
  const CopyMethodRow& ll = copy_method_row(CopyMethod::LL);
};

// The generator drawn one byte at a time with its own step, to know which
// bytes the test files get (they are drawn four at a time).
struct OneDrawAtATime {
  std::uint32_t state;
  unsigned char byte() {
    state = next_state(state);
    return drawn_byte(state);
  }
};

// Index in the event log of the copy phase's clock readings: 0 its start, 1
// its stop (the write-out after the copies reads the clock again); -1 when
// there is no such reading.
inline int copy_clock_index(int nth) {
  const auto& events = fake::state().events;
  for (std::size_t i = 0; i < events.size(); ++i)
    if (events[i].service == fake::Service::Clock && nth-- == 0) return static_cast<int>(i);
  return -1;
}

// The work directory the fake clock's calendar time gives on drive C:.
inline std::string fake_work_directory() {
  return "C:\\Varnoquelbit" + std::to_string(fake::state().calendar_seconds);
}

// The line a failed trial ends its notes with: the directory it leaves, and
// what is in it.
inline std::string kept_line(int files, std::uint64_t bytes) {
  return "varnoquelbit: kept '" + fake_work_directory() +
         "': the failed trial's directory stays for inspection, with " + std::to_string(files) +
         (files == 1 ? " file of " : " files of ") + std::to_string(bytes) + " bytes in all\n";
}
