#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "fake_fixture.h"
#include "driver/report_text.h"
#include "testrun/test_run.h"
#include "trials/work_directory.h"

namespace {

using fake::Service;

class TestRun : public FakePlatformTest {
 protected:
  void use_fixed() { run.fixed_figures = true; }
  RunContext run{printer};
  // The tests' part of the report, as the record gives it.
  std::string report() const { return report_text_of_tests(run.record.tests); }
};

// A drive already seen in the run, with this many KiB free.
void seen(RunContext& run, const std::string& drive, std::int64_t free_kib) {
  run.trials.drives[drive].figures.free_bytes =
      free_kib > static_cast<std::int64_t>(UINT64_MAX / 1024) ? UINT64_MAX
                                                               : static_cast<std::uint64_t>(free_kib) * 1024;
}

TEST_F(TestRun, ConfiguredExampleWithAFailedTrialInFixedFormat) {
  use_fixed();
  seen(run, "C:", 1LL << 40);  // a drive already seen in this run
  fake::state().calendar_step = 1;         // each trial gets a work directory of its own
  // Each good trial reads the clock for its copies, then for their write-out.
  fake::state().clock_readings = {0, 4000, 4000, 4000, 10000, 20000, 22000};
  fake::fail_path(Service::Copy, "C:\\Varnoquelbit1225000001\\test0.dat");  // trial 1's first copy
  EXPECT_TRUE(run_test({CopyMethod::HL, "C:", "1M", "", 10, 3}, run));
  EXPECT_EQ(fake::console_text(),
            "HL C: 1M 10File(s) 3Trial(s)\n"
            "[Trial 0] Preparing... Testing... Done.  Result:   2.500[MB/s] (4.000[sec])\n"
            "[Trial 1] Preparing... Testing...Copy Failed!\n"
            "[Trial 2] Preparing... Testing... Done.  Result:   5.000[MB/s] (2.000[sec])\n"
            "Average:  3.333[MB/s] (  3.000[sec])\n");
  EXPECT_EQ(report(),
            "HL C:   1M   10File(s)  3Trial(s) : Average:  3.333[MB/s] (  3.000[sec])\r\n");
}

// A trial that got through but left its work directory keeps its result, and
// the directory is named on standard error, once per trial.
TEST_F(TestRun, AWorkDirectoryThatStaysIsToldForItsTrial) {
  seen(run, "C:", 1LL << 40);
  fake::state().calendar_step = 1;
  fake::state().clock_readings = {0, 1000, 2000, 3000};
  fake::fail_every(Service::RemoveDirectory);
  EXPECT_TRUE(run_test({CopyMethod::HL, "C:", "4K", "", 1, 2}, run));
  const std::string told = fake::diagnostics_text();
  EXPECT_EQ(told.substr(0, told.find("varnoquelbit: HL's copies")),
            "varnoquelbit: could not remove 'C:\\Varnoquelbit1225000000': injected fault; it stays\n"
            "varnoquelbit: could not remove 'C:\\Varnoquelbit1225000001': injected fault; it stays\n")
      << told;
  EXPECT_NE(fake::console_text().find("Average:"), std::string::npos);
}

// The run's record keeps how each trial ended, where the console showed it.
TEST_F(TestRun, TheRecordSaysHowEachTrialEnded) {
  use_fixed();
  fake::state().calendar_step = 1;  // trial i works in C:\Varnoquelbit122500000<i>
  const auto directory = [](int trial) { return "C:\\Varnoquelbit122500000" + std::to_string(trial); };
  fake::fail_path(Service::Open, copy_file_path(directory(1), 0));
  fake::fail_transfer(Service::Read, test_file_path(directory(2), 1), 0);
  fake::fail_path(Service::CreateDirectory, directory(4));
  fake::state().clock_readings = {0, 4000, 10000, 20000, 20000};
  EXPECT_TRUE(run_test({CopyMethod::LL, "C:", "4K", "4K", 2, 5}, run, "LL C: 4K 4K 2 5"));
  EXPECT_EQ(fake::console_text(),
            "Disk C: Capacity: Total=10.000[GB] Free=5.000[GB]\n"
            "LL C: 4K (Buffer:4K) 2File(s) 5Trial(s)\n"
            "[Trial 0] Preparing... Testing... Done.  Result:   0.002[MB/s] (4.000[sec])\n"
            "[Trial 1] Preparing... Testing...open to failed\n"
            "[Trial 2] Preparing... Testing...copy failed\n"
            "[Trial 3] Preparing... Testing... Done."
            "[Trial 4] Preparing...Init Failed\n"
            "Average:  0.002[MB/s] (  4.000[sec])\n");
  ASSERT_EQ(run.record.tests.size(), 1u);
  const TestRecord& test = run.record.tests[0];
  EXPECT_EQ(test.line, "LL C: 4K 4K 2 5");
  EXPECT_EQ(test.stopped_at, TestStop::None);
  EXPECT_EQ(test.copy_path, "fake bypass, 4 KiB buffer");
  ASSERT_EQ(test.trials.size(), 5u);
  const TrialOutcome outcomes[] = {TrialOutcome::Done, TrialOutcome::OpenFailed,
                                   TrialOutcome::CopyFailed, TrialOutcome::ZeroMs,
                                   TrialOutcome::InitFailed};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(test.trials[i].index, i);
    EXPECT_EQ(test.trials[i].outcome, outcomes[i]) << i;
    EXPECT_EQ(test.trials[i].milliseconds.has_value(), i == 0 || i == 3) << i;
    EXPECT_EQ(test.trials[i].bytes_read_back.has_value(), i == 0 || i == 3) << i;
  }
  EXPECT_EQ(test.trials[0].milliseconds, 4000u);
  EXPECT_EQ(test.trials[0].bytes_read_back, 8192u);
  EXPECT_EQ(test.trials[0].mb_per_s_text, "0.002");
  EXPECT_EQ(test.trials[0].seconds_text, "4.000");
  EXPECT_EQ(test.trials[3].milliseconds, 0u);
  // Each failed trial keeps the line that said why, as standard error shows it.
  const std::vector<std::string> told = [] {
    std::vector<std::string> lines;
    std::istringstream in(fake::diagnostics_text());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }();
  // A failed trial that made its directory also says it keeps it; that
  // line is no reason.
  ASSERT_EQ(told.size(), 5u) << fake::diagnostics_text();
  const std::string reasons[] = {"", told[0], told[2], "", told[4]};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(test.trials[i].reason, reasons[i]) << i;
  EXPECT_NE(told[0].find(copy_file_path(directory(1), 0)), std::string::npos) << told[0];
  EXPECT_EQ(told[1].rfind("varnoquelbit: kept '" + directory(1) + "'", 0), 0u) << told[1];
  EXPECT_EQ(told[3].rfind("varnoquelbit: kept '" + directory(2) + "'", 0), 0u) << told[3];
  EXPECT_NE(told[4].find(directory(4)), std::string::npos) << told[4];
  ASSERT_TRUE(test.average.has_value());
  EXPECT_EQ(test.average->mb_per_s_text, "0.002");

  // A test stopped at a check keeps which, and the console's text.
  EXPECT_FALSE(run_test({CopyMethod::LL, "C:", "4K", "4X", 2, 5}, run));
  EXPECT_EQ(run.record.tests.back().stopped_at, TestStop::Buffer);
  EXPECT_EQ(run.record.tests.back().console_text, "Size Type Must Be 'K' or 'M' or 'G'.");
  EXPECT_TRUE(run.record.tests.back().trials.empty());
}

TEST_F(TestRun, DefaultTestInTheGeneralFormat) {
  fake::state().calendar_step = 1;
  for (int i = 0; i < 5; ++i) {
    fake::state().clock_readings.push_back(1000 * i);
    for (int reading = 0; reading < 3; ++reading)
      fake::state().clock_readings.push_back(1000 * i + 2500);
  }
  EXPECT_TRUE(run_test({CopyMethod::HL, "C:", "4K", "", 1000, 5}, run));
  std::string expected =
      "Disk C: Capacity: Total=10[GB] Free=5[GB]\n"
      "HL C: 4K 1000File(s) 5Trial(s)\n";
  for (int i = 0; i < 5; ++i)
    expected += "[Trial " + std::to_string(i) +
                "] Preparing... Testing... Done.  Result:  1.5625[MB/s] (2.5[sec])\n";
  expected += "Average: 1.5625[MB/s] (    2.5[sec])\n";
  EXPECT_EQ(fake::console_text(), expected);
  EXPECT_EQ(report(),
            "Disk C: Capacity: Total=10[GB] Free=5[GB]\r\n"
            "HL C:   4K 1000File(s)  5Trial(s) : Average: 1.5625[MB/s] (    2.5[sec])\r\n");
  EXPECT_TRUE(fake::paths_under("C:").empty()) << "no work directory left";
}

TEST_F(TestRun, LlHeadersAndTrials) {
  use_fixed();
  fake::add_volume("D:", VolumeFigures{1310720ull * 4096, 2621440ull * 4096});
  fake::state().calendar_step = 1;
  fake::state().clock_readings = {0, 500, 500, 500, 1000, 2000};
  EXPECT_TRUE(run_test({CopyMethod::LL, "D:", "1M", "64K", 4, 2}, run));
  EXPECT_EQ(fake::console_text(),
            "Disk D: Capacity: Total=10.000[GB] Free=5.000[GB]\n"
            "LL D: 1M (Buffer:64K) 4File(s) 2Trial(s)\n"
            "[Trial 0] Preparing... Testing... Done.  Result:   8.000[MB/s] (0.500[sec])\n"
            "[Trial 1] Preparing... Testing... Done.  Result:   4.000[MB/s] (1.000[sec])\n"
            "Average:  5.333[MB/s] (  0.750[sec])\n");
  EXPECT_EQ(report(),
            "Disk D: Capacity: Total=10.000[GB] Free=5.000[GB]\r\n"
            "LL D:   1M (Buffer: 64K)    4File(s)  2Trial(s) : Average:  5.333[MB/s] (  0.750[sec])\r\n");
  const auto reads = fake::events_of(Service::Read);
  ASSERT_FALSE(reads.empty());
  EXPECT_EQ(reads.front().length, 65536u);
}

TEST_F(TestRun, CopiesThroughThePageCacheAreNotedOncePerLlTestOnStandardError) {
  fake::state().transfers_cached = true;
  fake::state().calendar_step = 1;
  fake::state().clock_step = 7;
  fake::state().writes_out = false;  // the write-outs would take as long as the copies
  // Test files of 1000 KiB are written in one transfer of that length; the
  // copies' first transfer is one buffer of 64 KiB.
  run_test({CopyMethod::LL, "C:", "1000K", "64K", 2, 3}, run);
  const std::string console_after_ll = fake::console_text();
  run_test({CopyMethod::HL, "C:", "1000K", "", 2, 2}, run);
  fake::state().transfers_cached = false;
  run_test({CopyMethod::LL, "C:", "1000K", "64K", 2, 2}, run);
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: no direct I/O for 64 KiB transfers on 'C:': "
            "this test's figures include the page cache\n");
  EXPECT_EQ(console_after_ll.find("varnoquelbit"), std::string::npos);
}

// A volume whose driver keeps a cache below the program's cache bypass (FUSE,
// network) is noted once per test, HL or LL, named by its mount-table type;
// tmpfs is left to the note on cached transfers. Each drive is described once.
TEST_F(TestRun, VolumesWhoseDriverCachesAreNotedOncePerTestForEitherMethod) {
  VolumeDescription& fuse = fake::describe_as("C:");
  fuse.file_system = "fuseblk";
  fuse.cache = VolumeCache::UserSpace;
  for (const char* drive : {"N:", "T:"})
    fake::add_volume(drive, VolumeFigures{1310720ull * 4096, 2621440ull * 4096});
  VolumeDescription& network = fake::describe_as("N:");
  network.file_system = "nfs4";
  network.cache = VolumeCache::Network;
  VolumeDescription& memory = fake::describe_as("T:");
  memory.file_system = "tmpfs";
  memory.cache = VolumeCache::Memory;
  fake::state().calendar_step = 1;
  fake::state().clock_step = 1000;  // copies and write-outs alike: no write-out note
  fake::state().writes_out = false;
  EXPECT_TRUE(run_test({CopyMethod::HL, "C:", "1M", "", 2, 2}, run));
  EXPECT_TRUE(run_test({CopyMethod::LL, "C:", "1M", "64K", 2, 1}, run));
  EXPECT_TRUE(run_test({CopyMethod::LL, "N:", "1M", "64K", 2, 1}, run));
  EXPECT_TRUE(run_test({CopyMethod::HL, "T:", "1M", "", 2, 1}, run));
  const std::string fuse_note =
      "varnoquelbit: 'C:' is a fuseblk volume served in user space: its driver caches data, "
      "so this test's figures include that cache; the read-back cannot get past it either\n";
  EXPECT_EQ(fake::diagnostics_text(),
            fuse_note + fuse_note +
                "varnoquelbit: 'N:' is a nfs4 volume on the network: its client and server "
                "cache data, so this test's figures include that cache; the read-back cannot "
                "get past it either\n");
  EXPECT_EQ(fake::count_of(Service::Description), 3);
  EXPECT_EQ(fake::console_text().find("varnoquelbit"), std::string::npos);
}

// The write-out after the clock is noted, once per test for its good trials
// together, when it took more than half their timed copies; only for the
// method that leaves its copies in the cache, and only where it was measured.
TEST_F(TestRun, CopiesThatReachedTheMediumLongAfterTheClockAreNotedForHl) {
  struct Case {
    CopyMethod method;
    std::uint32_t second_write_out_ms;
    bool writes_out;
    const char* note;
    std::vector<std::uint32_t> readings;  // when not the default script below
  };
  const Case cases[] = {
      // 8 MB in 2 s of copies and 1.6 s of write-outs.
      {CopyMethod::HL, 1000, true,
       "varnoquelbit: HL's copies reached 'C:' 0.800 s after the clock stopped; counting that, "
       "they copied at 2.222 MB/s\n", {}},
      {CopyMethod::HL, 400, true, "", {}},  // exactly half
      {CopyMethod::LL, 1000, true, "", {}},
      {CopyMethod::HL, 1000, false, "", {}},
      // 10 ms copies, 8 ms write-outs: the clock's noise, not a lagging medium.
      {CopyMethod::HL, 0, true, "", {0, 10, 10, 18, 20, 30, 30, 38}},
  };
  for (const Case& c : cases) {
    fake::reset();
    fake::state().calendar_step = 1;
    fake::state().writes_out = c.writes_out;
    // Trial 0: 1 s of copies, 0.6 s of write-out; trial 1: 1 s, then the case's.
    fake::state().clock_readings = {0, 1000, 1000, 1600, 2000, 3000, 3000,
                                    3000 + c.second_write_out_ms};
    if (!c.writes_out) fake::state().clock_readings = {0, 1000, 1000, 2000, 3000, 3000};
    if (!c.readings.empty())
      fake::state().clock_readings.assign(c.readings.begin(), c.readings.end());
    RunContext fresh(printer);
    const bool hl = c.method == CopyMethod::HL;
    EXPECT_TRUE(run_test({c.method, "C:", "1M", hl ? "" : "64K", 4, 2}, fresh));
    EXPECT_EQ(fake::diagnostics_text(), c.note) << c.second_write_out_ms << " " << c.writes_out;
    if (c.readings.empty()) {
      EXPECT_NE(fake::console_text().find("Average:      4[MB/s] (      1[sec])"),
                std::string::npos)
          << fake::console_text();
    }
  }
}

TEST_F(TestRun, FieldWidthsAreMinimumsForOneValueEach) {
  use_fixed();
  seen(run, "C:", 1LL << 40);
  fake::state().clock_readings = {0, 4};
  EXPECT_TRUE(run_test({CopyMethod::HL, "C:", "1024K", "", 10, 1}, run));
  EXPECT_NE(fake::console_text().find("  Result: 2500.000[MB/s] (0.004[sec])\n"), std::string::npos);
  EXPECT_EQ(report().substr(0, 36), "HL C:1024K   10File(s)  1Trial(s) : ");

  run.record.tests.clear();
  run_test({CopyMethod::HL, "C:", "1.5M", "", 10000, 0}, run);
  EXPECT_EQ(report(), "HL C: 1.5M 10000File(s)  0Trial(s) : ");
  run.record.tests.clear();
  run_test({CopyMethod::LL, "C:", "65536K", "1024K", 1, -10}, run);
  EXPECT_EQ(report(), "LL C:65536K (Buffer:1024K)    1File(s) -10Trial(s) : ");
}

TEST_F(TestRun, MissingVolumeStopsBeforeTheSizesAreLookedAt) {
  EXPECT_FALSE(run_test({CopyMethod::HL, "Q:", "4KB", "", 10, 1}, run));
  EXPECT_EQ(fake::console_text(), "Could not Get the Drive Information of Q:\n");
  EXPECT_EQ(report(), "");
}

TEST_F(TestRun, BadSizesAfterAFirstSeenDriveStillRecordTheDiskLine) {
  EXPECT_FALSE(run_test({CopyMethod::HL, "C:", "4KB", "", 10, 1}, run));
  EXPECT_EQ(fake::console_text(),
            "Disk C: Capacity: Total=10[GB] Free=5[GB]\n"
            "Size Type Must Be 'K' or 'M' or 'G'.\n");
  EXPECT_EQ(report(), "Disk C: Capacity: Total=10[GB] Free=5[GB]\r\n");

  fake::state().console.str("");
  EXPECT_FALSE(run_test({CopyMethod::LL, "C:", "4K", "64", 10, 1}, run));
  EXPECT_EQ(fake::console_text(), "Size Type Must Be 'K' or 'M' or 'G'.\n");
  // HL never looks at a buffer size.
  fake::state().console.str("");
  run_test({CopyMethod::HL, "C:", "4K", "garbage", 1, 0}, run);
  EXPECT_EQ(fake::console_text(), "HL C: 4K 1File(s) 0Trial(s)\n");
}

// Every unusable size gets the console's one message; standard error names
// the field and the test, and tells what is wrong with it.
TEST_F(TestRun, UnusableSizesAreRefusedBeforeAnyTrialWithTheirReason) {
  seen(run, "C:", 1LL << 40);
  const char* refused[][3] = {
      {"-4K", "4K", "file size '-4K' of line 'L': is negative"},
      {"0.5K", "4K", "file size '0.5K' of line 'L': is below 1 KiB, the smallest size (1K)"},
      {"1e30G", "4K", "file size '1e30G' of line 'L': is too large: it does not fit 2^63 KiB"},
      {"4MB", "4K", "file size '4MB' of line 'L': has no unit: it must end in K, M or G (as 64M or 4K), not 'B'"},
      {"64", "4K", "file size '64' of line 'L': has no unit: it must end in K, M or G (as 64M or 4K), not '4'"},
      {"M", "4K", "file size 'M' of line 'L': has no number before its unit (as 64M or 4K)"},
      {"0K", "4K", "file size '0K' of line 'L': is zero"},
      {"4K", "-64K", "buffer size '-64K' of line 'L': is negative"},
      {"4K", "4G", "buffer size '4G' of line 'L': is 4 GiB or more; the largest buffer is 4194303K"},
      {"4K", "4194304K", "buffer size '4194304K' of line 'L': is 4 GiB or more; the largest buffer is 4194303K"},
      {"4K", "0.9K", "buffer size '0.9K' of line 'L': is below 1 KiB, the smallest size (1K)"}};
  for (const auto& sizes : refused) {
    fake::state().console.str("");
    fake::state().diagnostics.str("");
    EXPECT_FALSE(run_test({CopyMethod::LL, "C:", sizes[0], sizes[1], 10, 1}, run, "L"));
    EXPECT_EQ(fake::console_text(), "Size Type Must Be 'K' or 'M' or 'G'.\n")
        << sizes[0] << " " << sizes[1];
    EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: " + std::string(sizes[2]) + "\n");
  }
  EXPECT_EQ(fake::count_of(Service::CreateDirectory), 0);
  fake::state().console.str("");
  run_test({CopyMethod::LL, "C:", "4K", "4194303K", 1, 0}, run);
  EXPECT_EQ(fake::console_text(), "LL C: 4K (Buffer:4194303K) 1File(s) 0Trial(s)\n");
  // The built-in test has no line: it is named as such.
  fake::state().diagnostics.str("");
  run_test({CopyMethod::HL, "C:", "4", "", 1, 1}, run);
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: file size '4' of the built-in test: has no unit: it must end in K, M "
            "or G (as 64M or 4K), not '4'\n");
}

TEST_F(TestRun, RoomShortageAndOverflowStopTheTest) {
  EXPECT_FALSE(run_test({CopyMethod::HL, "C:", "1G", "", 3, 1}, run));
  EXPECT_NE(fake::console_text().find("Error: Free Space is NOT Enough.\n"), std::string::npos);
  fake::state().console.str("");
  seen(run, "big", INT64_MAX);
  EXPECT_FALSE(run_test({CopyMethod::HL, "big", "8796093022207G", "", 2147483647, 1}, run));
  EXPECT_EQ(fake::console_text(), "Error: Free Space is NOT Enough.\n");
}

TEST_F(TestRun, TrialCountBelowOneLeavesTheReportLineOpen) {
  seen(run, "C:", 1LL << 40);
  EXPECT_FALSE(run_test({CopyMethod::HL, "C:", "4K", "", 10, 0}, run));
  EXPECT_EQ(fake::console_text(), "HL C: 4K 10File(s) 0Trial(s)\n");
  fake::state().clock_readings = {0, 1000};
  EXPECT_TRUE(run_test({CopyMethod::HL, "C:", "4K", "", 10, -1}, run) == false);
  EXPECT_EQ(report(), "HL C:   4K   10File(s)  0Trial(s) : HL C:   4K   10File(s) -1Trial(s) : ");
  EXPECT_EQ(fake::count_of(Service::CreateDirectory), 0);
  // A drive's first disk line continues the open line, and a free-space stop
  // after it adds nothing more.
  fake::add_volume("D:", VolumeFigures{1024, 1310720ull * 4096});
  EXPECT_FALSE(run_test({CopyMethod::HL, "D:", "4K", "", 10, 1}, run));
  EXPECT_EQ(report(),
            "HL C:   4K   10File(s)  0Trial(s) : HL C:   4K   10File(s) -1Trial(s) : "
            "Disk D: Capacity: Total=5[GB] Free=9.53674e-07[GB]\r\n");
}

TEST_F(TestRun, AllTrialsFailedLeavesNoAverageAndTheNextTestContinuesTheLine) {
  seen(run, "C:", 1LL << 40);
  fake::state().calendar_step = 1;
  fake::fail_path(Service::CreateDirectory, "C:\\Varnoquelbit1225000000");
  fake::fail_path(Service::CreateDirectory, "C:\\Varnoquelbit1225000001");
  EXPECT_FALSE(run_test({CopyMethod::HL, "C:", "4K", "", 2, 2}, run));
  EXPECT_EQ(fake::console_text(),
            "HL C: 4K 2File(s) 2Trial(s)\n"
            "[Trial 0] Preparing...Init Failed\n"
            "[Trial 1] Preparing...Init Failed\n");
  fake::state().clock_readings = {0, 1000};
  EXPECT_TRUE(run_test({CopyMethod::HL, "C:", "4K", "", 256, 1}, run));
  EXPECT_EQ(report(),
            "HL C:   4K    2File(s)  2Trial(s) : HL C:   4K  256File(s)  1Trial(s) : "
            "Average:      1[MB/s] (      1[sec])\r\n");
}

TEST_F(TestRun, ZeroMillisecondTrialLeavesTheConsoleLineOpen) {
  seen(run, "C:", 1LL << 40);
  fake::state().calendar_step = 1;
  fake::state().clock_readings = {5, 5, 5, 5, 6, 1006};
  EXPECT_TRUE(run_test({CopyMethod::HL, "C:", "1M", "", 1, 2}, run));
  EXPECT_EQ(fake::console_text(),
            "HL C: 1M 1File(s) 2Trial(s)\n"
            "[Trial 0] Preparing... Testing... Done.[Trial 1] Preparing... Testing... Done."
            "  Result:       1[MB/s] (1[sec])\n"
            "Average:      1[MB/s] (      1[sec])\n");
}

TEST_F(TestRun, ATrialOnADriveThatLeftItsFirstVolumeFailsAndMakesNothing) {
  const VolumeIdentity measured = fake::default_description("C:").identity;
  const VolumeIdentity underneath{measured.value + 1};
  // The disk line's query, trial 0 and trial 1 read these; trial 2 reads the
  // volume's own identity again (the same stick mounted back).
  fake::state().identity_readings["C:"] = {measured, measured, underneath};
  fake::state().calendar_step = 1;
  fake::state().clock_readings = {0, 1000, 1000, 1000, 2000, 3000, 3000, 3000};
  EXPECT_TRUE(run_test({CopyMethod::HL, "C:", "4K", "", 256, 3}, run));
  EXPECT_EQ(fake::console_text(),
            "Disk C: Capacity: Total=10[GB] Free=5[GB]\n"
            "HL C: 4K 256File(s) 3Trial(s)\n"
            "[Trial 0] Preparing... Testing... Done.  Result:       1[MB/s] (1[sec])\n"
            "[Trial 1] Preparing...Init Failed\n"
            "[Trial 2] Preparing... Testing... Done.  Result:       1[MB/s] (1[sec])\n"
            "Average:      1[MB/s] (      1[sec])\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: 'C:' is no longer on the volume first measured (was it unmounted?)\n");
  EXPECT_EQ(fake::count_of(Service::CreateDirectory), 2) << "trial 1 made nothing";
  EXPECT_EQ(run.record.tests.at(0).trials.at(1).outcome, TrialOutcome::InitFailed);

  // A volume that cannot be asked at a trial fails it the same way, with the reason.
  fake::reset();
  fake::fail_path(Service::Identity, "C:");
  RunContext second(printer);
  seen(second, "C:", 1LL << 40);
  second.trials.drives["C:"].identity = measured;
  EXPECT_FALSE(run_test({CopyMethod::HL, "C:", "4K", "", 2, 1}, second));
  EXPECT_EQ(fake::console_text(), "HL C: 4K 2File(s) 1Trial(s)\n[Trial 0] Preparing...Init Failed\n");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: query volume 'C:': injected fault\n");
  EXPECT_EQ(fake::count_of(Service::CreateDirectory), 0);

  // The drive's folder is held from the disk line: a drive string that now
  // leads to another folder, on the same volume, fails every trial the same way.
  fake::reset();
  fake::state().changed_drive_folders.insert("C:");
  RunContext third{printer};
  EXPECT_FALSE(run_test({CopyMethod::HL, "C:", "4K", "", 2, 2}, third));
  EXPECT_TRUE(third.trials.drives.at("C:").folder) << "held since the disk line";
  EXPECT_EQ(fake::console_text(),
            "Disk C: Capacity: Total=10[GB] Free=5[GB]\n"
            "HL C: 4K 2File(s) 2Trial(s)\n"
            "[Trial 0] Preparing...Init Failed\n[Trial 1] Preparing...Init Failed\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: open 'C:': the drive's folder changed\n"
                "varnoquelbit: open 'C:': the drive's folder changed\n");
  EXPECT_EQ(fake::count_of(Service::CreateDirectory), 0);
}

TEST_F(TestRun, ADriveWhoseVolumeCannotBeIdentifiedAtItsDiskLineRunsUnchecked) {
  fake::fail_path(Service::Identity, "C:");
  fake::state().clock_readings = {0, 1000};
  EXPECT_TRUE(run_test({CopyMethod::HL, "C:", "4K", "", 256, 1}, run));
  EXPECT_FALSE(run.trials.drives.at("C:").identity.has_value());
  EXPECT_EQ(fake::diagnostics_text(), "");
}

TEST_F(TestRun, InterruptionStartsNoFurtherTrialAndPrintsNoAverage) {
  fake::state().calendar_step = 1;
  fake::state().clock_readings = {0, 4000};
  fake::interrupt_at(Service::Copy, 2 + 1);  // trial 1's first copy
  EXPECT_FALSE(run_test({CopyMethod::HL, "C:", "1M", "", 2, 3}, run));
  const std::string console = fake::console_text();
  EXPECT_NE(console.find("[Trial 0] Preparing... Testing... Done.  Result: "), std::string::npos);
  EXPECT_NE(console.find("[Trial 1] Preparing... Testing...\n"), std::string::npos);
  EXPECT_EQ(console.find("[Trial 2]"), std::string::npos);
  EXPECT_EQ(console.find("Average:"), std::string::npos);
  EXPECT_EQ(report().find("Average:"), std::string::npos);
}

}  // namespace
