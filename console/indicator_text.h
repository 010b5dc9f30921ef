// The progress indicator's words, from plain figures: what a trial's phase
// has done, how fast, and how long the test has left. Pure functions: the
// indicator's thread hands them what the counters and the clock said.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// A trial's phases, in the order a trial runs them.
enum class ProgressPhase { Preparing, Copying, WritingOut, ReadingBack };
constexpr int kProgressPhases = 4;

// Where a test stands at one moment.
struct IndicatorFigures {
  ProgressPhase phase = ProgressPhase::Preparing;
  std::int32_t file_count = 0;
  std::uint64_t file_bytes = 0;
  // Bytes of the phase's files done (whole files, for a phase that counts
  // files), and the milliseconds since the phase began.
  std::uint64_t bytes_done = 0;
  std::uint32_t phase_ms = 0;
  // The trial (from 0) and the test's trial count.
  std::int32_t trial_index = 0;
  std::int32_t trial_count = 0;
  // The test's time left, when it can be told yet.
  std::optional<std::uint32_t> ms_left;
};

// What this test's phases have done so far, kind by kind: the milliseconds
// they took and the bytes they went through.
struct TestPace {
  double ms[kProgressPhases] = {};
  double bytes[kProgressPhases] = {};
};

// Adds a phase's work to the pace: `bytes` done in `ms`.
void add_to_pace(TestPace& pace, ProgressPhase phase, std::uint64_t bytes, std::uint32_t ms);

// The test's time left from the work done so far: each phase kind goes at
// the pace its own runs have gone in this test (the phase in progress
// included); a kind not seen yet at the pace of all the work seen. Nothing
// until a second of work has been seen.
std::optional<std::uint32_t> test_ms_left(const TestPace& done_before, const IndicatorFigures& now);

// "1:05", "1:02:03".
std::string duration_text(std::uint64_t seconds);

// The indicator's words, the longest that fits in `room` characters:
//   copying 2/4 files, 1024/2048 MB, 1843.2 MB/s, 50%; trial 1 of 3, about 0:12 left
// Narrower rooms lose the files and bytes, then the time left, then the
// trial, then the percentage, then the phase's name; the rate goes last.
// Empty when not even the rate fits.
std::string indicator_text(const IndicatorFigures& figures, std::size_t room);
