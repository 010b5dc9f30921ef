// The console room: the indicator's words from plain figures, and the
// printer's notes around the console's open line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_printer.h"
#include "console/indicator_text.h"
#include "fake_fixture.h"
#include "platform/console.h"

namespace {

constexpr std::uint64_t kMiB = 1048576;

// Half of 4 files of 256 MiB copied in one second, in the first of 2 trials.
IndicatorFigures half_copied() {
  IndicatorFigures f;
  f.phase = ProgressPhase::Copying;
  f.file_count = 4;
  f.file_bytes = 256 * kMiB;
  f.bytes_done = 512 * kMiB;
  f.phase_ms = 1000;
  f.trial_index = 0;
  f.trial_count = 2;
  f.ms_left = 12400;
  return f;
}

TEST(IndicatorText, EachNarrowerRoomDropsOnePieceAndTheRateGoesLast) {
  const IndicatorFigures f = half_copied();
  const std::vector<std::string> widest_first = {
      "copying 2/4 files, 512/1024 MB, 512.0 MB/s, 50%; trial 1 of 2, about 0:12 left",
      "copying 512.0 MB/s, 50%; trial 1 of 2, about 0:12 left",
      "copying 512.0 MB/s, 50%; trial 1 of 2",
      "copying 512.0 MB/s, 50%",
      "copying 512.0 MB/s",
      "512.0 MB/s",
  };
  // Every room gets the widest text that fits it, and nothing wider.
  for (std::size_t room = 0; room <= widest_first[0].size() + 5; ++room) {
    std::string expected;
    for (const std::string& text : widest_first)
      if (text.size() <= room) {
        expected = text;
        break;
      }
    EXPECT_EQ(indicator_text(f, room), expected) << room;
  }
}

TEST(IndicatorText, EveryPhaseShowsItsRateFromWhatItHasDone) {
  struct Case {
    ProgressPhase phase;
    std::uint64_t bytes_done;
    std::uint32_t phase_ms;
    const char* text;
  };
  const Case cases[] = {
      {ProgressPhase::Preparing, 100 * kMiB, 2000,
       "preparing 0/4 files, 100/1024 MB, 50.0 MB/s, 9%; trial 1 of 2"},
      {ProgressPhase::Copying, 1024 * kMiB, 500,
       "copying 4/4 files, 1024/1024 MB, 2048.0 MB/s, 100%; trial 1 of 2"},
      // Counted in whole files: 3 of 4.
      {ProgressPhase::WritingOut, 768 * kMiB, 3000,
       "writing out 3/4 files, 768/1024 MB, 256.0 MB/s, 75%; trial 1 of 2"},
      // More than the phase's files is held to them.
      {ProgressPhase::ReadingBack, 4096 * kMiB, 1000,
       "reading back 4/4 files, 1024/1024 MB, 1024.0 MB/s, 100%; trial 1 of 2"},
      // Before its first millisecond a phase has no pace: 0.0.
      {ProgressPhase::Copying, 0, 0, "copying 0/4 files, 0/1024 MB, 0.0 MB/s, 0%; trial 1 of 2"},
  };
  for (const Case& c : cases) {
    IndicatorFigures f = half_copied();
    f.ms_left.reset();
    f.phase = c.phase;
    f.bytes_done = c.bytes_done;
    f.phase_ms = c.phase_ms;
    EXPECT_EQ(indicator_text(f, 200), c.text);
  }
  // Small totals keep a decimal of their megabytes.
  IndicatorFigures small = half_copied();
  small.ms_left.reset();
  small.file_bytes = 4 * kMiB;
  small.bytes_done = 6 * kMiB;
  EXPECT_EQ(indicator_text(small, 200),
            "copying 1/4 files, 6.0/16.0 MB, 6.0 MB/s, 37%; trial 1 of 2");
}

TEST(IndicatorText, DurationsInMinutesOrHours) {
  EXPECT_EQ(duration_text(0), "0:00");
  EXPECT_EQ(duration_text(65), "1:05");
  EXPECT_EQ(duration_text(3599), "59:59");
  EXPECT_EQ(duration_text(3723), "1:02:03");
}

// The time left comes from the pace of this test's own work, phase kind by
// phase kind.
TEST(IndicatorText, TimeLeftFollowsThePaceOfTheWorkDone) {
  IndicatorFigures f = half_copied();
  f.phase = ProgressPhase::Preparing;
  f.bytes_done = 512 * kMiB;
  f.phase_ms = 1000;
  // Less than a second of work seen: no guess.
  IndicatorFigures early = f;
  early.phase_ms = 999;
  EXPECT_FALSE(test_ms_left(TestPace(), early).has_value());
  // Only preparing seen, at 1 ms per 512 KiB: every kind goes at that pace.
  // Left: half of this phase (1 s), three phases (6 s) and one more trial (8 s).
  EXPECT_EQ(test_ms_left(TestPace(), f), 15000u);

  // In the second trial, with the first trial's phases known: the copy took
  // 250 ms, the write-out 0, the read-back 1 s for their 1024 MiB.
  TestPace first;
  add_to_pace(first, ProgressPhase::Preparing, 1024 * kMiB, 2000);
  add_to_pace(first, ProgressPhase::Copying, 1024 * kMiB, 250);
  add_to_pace(first, ProgressPhase::WritingOut, 1024 * kMiB, 0);
  add_to_pace(first, ProgressPhase::ReadingBack, 1024 * kMiB, 1000);
  IndicatorFigures second = f;
  second.trial_index = 1;
  second.phase = ProgressPhase::Copying;
  second.bytes_done = 512 * kMiB;
  second.phase_ms = 125;
  EXPECT_EQ(test_ms_left(first, second), 125u + 0u + 1000u);

  // At a steady pace the time left only falls as the work advances.
  std::uint32_t before = UINT32_MAX;
  for (std::uint64_t mib = 128; mib <= 1024; mib += 128) {
    IndicatorFigures now = f;
    now.bytes_done = mib * kMiB;
    now.phase_ms = static_cast<std::uint32_t>(mib * 2);  // 2 ms per MiB
    const std::optional<std::uint32_t> left = test_ms_left(first, now);
    ASSERT_TRUE(left.has_value()) << mib;
    EXPECT_LT(*left, before) << mib;
    before = *left;
  }
}

class PrinterNotes : public FakePlatformTest {};

// A note that comes while the console's line is open waits for the line's
// end, however many tests that line runs across; a note on a closed line
// goes at once; the run's end writes what still waits.
TEST_F(PrinterNotes, ANoteWaitsForTheConsolesLineEnd) {
  write_note(printer, "at once");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: at once\n");
  console() << "[Trial 1] Preparing... Testing... Done.";
  write_note(printer, "first");
  write_failure(printer, failure("remove", "C:\\x", "busy"));
  write_failure(printer, success());
  EXPECT_EQ(printer.column(), 39u);
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: at once\n") << "held while the line is open";
  // The next test's header continues the same line, and ends it.
  console() << "HL C: 4K 1File(s) 1Trial(s)" << std::endl;
  EXPECT_EQ(printer.column(), 0u);
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: at once\nvarnoquelbit: first\n"
            "varnoquelbit: remove 'C:\\x': busy\n");
  console() << "[Trial 0] Preparing...";
  write_note(printer, "last");
  printer.release_notes();
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: at once\nvarnoquelbit: first\nvarnoquelbit: remove 'C:\\x': busy\n"
            "varnoquelbit: last\n");
  EXPECT_EQ(fake::console_text(),
            "[Trial 1] Preparing... Testing... Done.HL C: 4K 1File(s) 1Trial(s)\n"
            "[Trial 0] Preparing...");
}

// Where the terminal can be drawn on but no second thread can be had (as
// with the fake), phases run and draw nothing.
TEST_F(PrinterNotes, WithoutASecondThreadTheIndicatorStaysOff) {
  fake::state().terminal = TerminalView{true, true};
  printer.begin_test(1);
  printer.begin_trial(0);
  printer.begin_phase(ProgressPhase::Copying, 4, 1024);
  printer.counters().bytes_done(4096);
  printer.end_phase();
  printer.begin_phase(ProgressPhase::ReadingBack, 4, 1024);
  printer.end_phase();
  EXPECT_EQ(fake::state().side_threads_refused, 1) << "asked once, not at every phase";
  EXPECT_EQ(fake::diagnostics_text(), "");
}

}  // namespace
