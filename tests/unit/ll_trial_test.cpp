#include <gtest/gtest.h>

#include "fake_fixture.h"
#include "trials/trial.h"
#include "trials/work_directory.h"

namespace {

using fake::Service;

class LlTrial : public FakePlatformTest {
 protected:
  // Lengths of the reads and writes of the copy phase: from the clock's start
  // to its stop, or to the end when the copy failed and the clock never stopped.
  std::vector<std::uint32_t> copy_lengths(Service service) {
    std::vector<std::uint32_t> lengths;
    const auto start = static_cast<std::size_t>(fake::first_index(Service::Clock));
    const int stopped = copy_clock_index(1);
    const auto stop = stopped < 0 ? fake::state().events.size() : static_cast<std::size_t>(stopped);
    for (std::size_t i = start; i < stop; ++i)
      if (fake::state().events[i].service == service) lengths.push_back(fake::state().events[i].length);
    return lengths;
  }
  static std::vector<std::uint32_t> repeated(std::uint32_t length, std::size_t times,
                                             std::uint32_t tail) {
    std::vector<std::uint32_t> v(times, length);
    v.push_back(tail);
    return v;
  }
};

TEST_F(LlTrial, FullBuffersThenAZeroLengthTailThenAFlush) {
  fake::state().clock_readings = {100, 350};
  EXPECT_EQ(run_trial(printer, trials, ll, "C:", 1024, 1, 64).elapsed_ms, 250u);
  EXPECT_EQ(copy_lengths(Service::Read), repeated(65536, 16, 0));
  EXPECT_EQ(copy_lengths(Service::Write), repeated(65536, 16, 0));
  // Read, write, read, write ... then the flush, all before the clock stops.
  const auto& ev = fake::state().events;
  const int start = fake::first_index(Service::Clock);
  const int stop = copy_clock_index(1);
  std::vector<Service> order;
  for (int i = start + 1; i < stop; ++i) order.push_back(ev[i].service);
  ASSERT_EQ(order.size(), 35u);
  for (int i = 0; i < 34; i += 2) {
    EXPECT_EQ(order[i], Service::Read);
    EXPECT_EQ(order[i + 1], Service::Write);
  }
  EXPECT_EQ(order.back(), Service::Flush);
}

TEST_F(LlTrial, PartialTailAndSmallFiles) {
  EXPECT_TRUE(run_trial(printer, trials, ll, "C:", 1000, 1, 64).copied());
  EXPECT_EQ(copy_lengths(Service::Write), repeated(65536, 15, 40960));

  fake::reset();
  run_trial(printer, trials, ll, "C:", 4, 2, 1024);
  EXPECT_EQ(copy_lengths(Service::Read), (std::vector<std::uint32_t>{4096, 4096}));
  EXPECT_EQ(fake::state().allocations.front(), 1048576u) << "the transfer buffer is still 1 MiB";

  fake::reset();
  run_trial(printer, trials, ll, "C:", 64, 1, 64);
  EXPECT_EQ(copy_lengths(Service::Write), (std::vector<std::uint32_t>{65536, 0}));
}

TEST_F(LlTrial, EveryOpenBeforeTheClockEveryCloseAfterAndCopiesExact) {
  const std::string dir = fake_work_directory();
  fake::fail_every(Service::Delete);  // keep the files to compare them
  run_trial(printer, trials, ll, "C:", 5, 4, 2);
  const int start = fake::first_index(Service::Clock);
  const int stop = copy_clock_index(1);
  const auto& ev = fake::state().events;
  int opens_before = 0;
  for (int i = 0; i < start; ++i) opens_before += ev[i].service == Service::Open;
  EXPECT_EQ(opens_before, 4 + 8);
  // After the clock: the 8 closes, source i then destination i, then the
  // copies are opened again to be read back.
  std::vector<std::string> closed_after;
  for (int i = stop; i < static_cast<int>(ev.size()) && ev[i].service != Service::Open; ++i)
    if (ev[i].service == Service::Close) closed_after.push_back(ev[i].path);
  std::vector<std::string> pairs_in_order;
  for (int i = 0; i < 4; ++i) {
    pairs_in_order.push_back(test_file_path(dir, i));
    pairs_in_order.push_back(copy_file_path(dir, i));
  }
  EXPECT_EQ(closed_after, pairs_in_order);
  EXPECT_EQ(fake::open_handle_count(), 0);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(fake::state().files[copy_file_path(dir, i)], fake::state().files[test_file_path(dir, i)]);
  EXPECT_EQ(fake::state().live_buffers, 0);
}

TEST_F(LlTrial, UnopenableSourceClosesEverythingAndKeepsTheDirectory) {
  const std::string dir = fake_work_directory();
  // Opens 1-4 make the test files; the trial's opens then alternate source, destination.
  fake::state().clock_readings = {0, 10};
  fake::fail_open(test_file_path(dir, 2), FileAccess::Read);  // source 2
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 4, 4, 4).copied());
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...open from failed\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: open '" + test_file_path(dir, 2) + "': injected fault\n" +
            kept_line(6, 16384));
  EXPECT_EQ(fake::open_handle_count(), 0) << "sources and destinations 0 and 1 closed";
  EXPECT_EQ(fake::state().files[copy_file_path(dir, 0)], "");
  EXPECT_EQ(fake::state().files[copy_file_path(dir, 1)], "");
  EXPECT_FALSE(fake::state().files.count(copy_file_path(dir, 2)));
  EXPECT_TRUE(fake::state().directories.count(dir));
  EXPECT_EQ(fake::count_of(Service::Clock), 0) << "the clock never started";
  EXPECT_EQ(fake::state().live_buffers, 0);
}

TEST_F(LlTrial, UncreatableDestinationClosesItsSourceToo) {
  fake::fail_path(Service::Open, copy_file_path(fake_work_directory(), 1));
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 4, 2, 4).copied());
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...open to failed\n");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: open '" +
                                          copy_file_path(fake_work_directory(), 1) +
                                          "': injected fault\n" +
            kept_line(3, 8192));
  EXPECT_EQ(fake::count_of(Service::Close), 2 + 3);
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_TRUE(fake::state().directories.count(fake_work_directory()));
}

TEST_F(LlTrial, FailedReadIsNotFollowedByItsWrite) {
  fake::fail_transfer(Service::Read, test_file_path(fake_work_directory(), 0), 2048);
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 4, 2, 1).copied());
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...copy failed\n");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: read '" +
                                          test_file_path(fake_work_directory(), 0) +
                                          "': injected fault\n" +
            kept_line(4, 10240));
  EXPECT_EQ(copy_lengths(Service::Write).size(), 2u);
  EXPECT_EQ(fake::count_of(Service::Flush), 2) << "only the test files' flushes";
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_EQ(fake::state().files[copy_file_path(fake_work_directory(), 0)].size(), 2048u);
  EXPECT_EQ(fake::state().live_buffers, 0);
}

TEST_F(LlTrial, FailedWriteMidFileStopsAndKeepsWhatWasWritten) {
  const std::string dir = fake_work_directory();
  fake::fail_transfer(Service::Write, copy_file_path(dir, 1), 1024);  // copy 1's 2nd KiB
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 4, 2, 1).copied());
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...copy failed\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: write '" + copy_file_path(dir, 1) + "': injected fault\n" +
            kept_line(4, 13312));
  EXPECT_EQ(fake::state().files[copy_file_path(dir, 0)].size(), 4096u);
  EXPECT_EQ(fake::state().files[copy_file_path(dir, 1)].size(), 1024u);
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_TRUE(fake::state().directories.count(dir));
}

// A copy whose flush says its data did not reach the medium fails as a
// failed write does: no result, its files closed, the directory kept.
TEST_F(LlTrial, AFailedFlushFailsTheCopy) {
  const std::string dir = fake_work_directory();
  fake::fail_path(Service::Flush, copy_file_path(dir, 1));
  const TrialResult trial = run_trial(printer, trials, ll, "C:", 4, 3, 1);
  EXPECT_EQ(trial.outcome, TrialOutcome::CopyFailed);
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...copy failed\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: flush '" + copy_file_path(dir, 1) + "': injected fault\n" +
            kept_line(6, 20480));
  EXPECT_EQ(fake::state().files[copy_file_path(dir, 2)].size(), 0u) << "nothing copied after it";
  EXPECT_EQ(fake::count_of(Service::WriteOut), 0);
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_TRUE(fake::state().directories.count(dir));
  EXPECT_EQ(fake::count_of(Service::Delete), 0);
}

TEST_F(LlTrial, ACopyReadBackWrongFailsTheTrialAndKeepsTheDirectory) {
  const std::string dir = fake_work_directory();
  fake::state().flipped_on_read[copy_file_path(dir, 0)] = 0;
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 64, 2, 16).copied());
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: '" + copy_file_path(dir, 0) +
                "' differs from what was written at byte 0 (0 bytes checked)\n" +
            kept_line(4, 262144));
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...copy failed\n");
  EXPECT_EQ(fake::paths_under(dir).size(), 4u);
  EXPECT_EQ(fake::state().files[copy_file_path(dir, 0)], fake::state().files[test_file_path(dir, 0)])
      << "only the read lied";
  EXPECT_EQ(fake::count_of(Service::Delete), 0);
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_EQ(fake::state().live_buffers, 0);
}

TEST_F(LlTrial, InitFailuresReleaseTheBuffer) {
  fake::fail_path(Service::Open, test_file_path(fake_work_directory(), 0));
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 4, 2, 4).copied());
  EXPECT_EQ(fake::console_text(),
            "Preparing... CreateFile Error:INVALID_HANDLE_VALUE\nInit Failed\n");
  EXPECT_EQ(fake::state().live_buffers, 0);

  fake::reset();
  fake::fail_every(Service::Allocate);  // the transfer buffer first
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 4, 2, 4).copied());
  EXPECT_EQ(fake::console_text(), "Preparing...Init Failed\n");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: allocate '4096 bytes': not enough memory\n");
  EXPECT_EQ(fake::count_of(Service::CreateDirectory), 0);

  fake::reset();
  fake::state().directories.insert(fake_work_directory());
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 4, 2, 4).copied());
  EXPECT_EQ(fake::console_text(), "Preparing...Init Failed\n");
  EXPECT_EQ(fake::state().live_buffers, 0);
}

TEST_F(LlTrial, WrappingClockAndZeroFiles) {
  fake::state().clock_readings = {0xFFFFFFF0u, 0x10u};
  EXPECT_EQ(run_trial(printer, trials, ll, "C:", 4, 1, 4).elapsed_ms, 0x20u);

  fake::reset();
  fake::state().clock_readings = {7, 7};
  const TrialResult trial = run_trial(printer, trials, ll, "C:", 4, 0, 4);
  EXPECT_TRUE(trial.copied());
  EXPECT_EQ(trial.elapsed_ms, 0u);
  EXPECT_EQ(fake::console_text(), "Preparing... Testing... Done.");
  EXPECT_EQ(fake::count_of(Service::Open), 0);
  EXPECT_FALSE(fake::state().directories.count(fake_work_directory()));
}

// An interruption stops the opening and the timed copy at the next file or
// transfer: everything opened is closed, the buffer released, and the work
// directory removed; an unremovable one is reported as left.
TEST_F(LlTrial, InterruptionStopsAtTheNextTransferAndRemovesTheWorkDirectory) {
  const std::string dir = fake_work_directory();
  fake::interrupt_at(Service::Read, 3);  // file 0's third 1 KiB piece
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 4, 2, 1).copied());
  EXPECT_EQ(copy_lengths(Service::Read).size(), 3u);
  EXPECT_EQ(copy_lengths(Service::Write).size(), 3u) << "the pair under way completes";
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...\n");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: interrupted; removed " + dir + "\n");
  EXPECT_TRUE(fake::paths_under("C:").empty());
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_EQ(fake::state().live_buffers, 0);

  fake::reset();
  fake::interrupt_at(Service::DropCache, 1);  // reading copy 0 back, after the clock
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 4, 2, 1).copied());
  EXPECT_EQ(fake::count_of(Service::DropCache), 1) << "the check stops at the next copy";
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...\n") << "no failure text";
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: interrupted; removed " + dir + "\n");
  EXPECT_TRUE(fake::paths_under("C:").empty());
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_EQ(fake::state().live_buffers, 0);

  fake::reset();
  fake::interrupt_at(Service::Open, 3 + 4);  // destination 1 (after 3 test files)
  fake::fail_path(Service::Delete, test_file_path(dir, 1));
  EXPECT_FALSE(run_trial(printer, trials, ll, "C:", 4, 3, 4).copied());
  EXPECT_EQ(fake::count_of(Service::Open), 3 + 4) << "file 1's pair, then no further open";
  EXPECT_EQ(fake::count_of(Service::Clock), 0);
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: could not remove '" + dir + "': injected fault; it stays\n");
}

}  // namespace
