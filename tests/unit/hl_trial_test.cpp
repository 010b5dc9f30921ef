#include <gtest/gtest.h>

#include "fake_fixture.h"
#include "trials/trial.h"
#include "trials/work_directory.h"

namespace {

using fake::Service;

class HlTrial : public FakePlatformTest {};

TEST_F(HlTrial, SuccessCopiesEveryFileTimesOnlyTheCopiesAndRemovesTheDirectory) {
  fake::state().clock_readings = {1000, 1750};
  EXPECT_EQ(run_trial(printer, trials, hl, "C:", 4, 3).elapsed_ms, 750u);
  EXPECT_EQ(fake::console_text(), "Preparing... Testing... Done.") << "no line end: the caller ends it";
  EXPECT_EQ(fake::count_of(Service::Copy), 3);
  EXPECT_FALSE(fake::state().directories.count(fake_work_directory()));
  EXPECT_TRUE(fake::paths_under("C:").empty());

  // The clock brackets the copies and nothing else.
  const int first_clock = fake::first_index(Service::Clock);
  const int last_clock = copy_clock_index(1);
  EXPECT_LT(fake::last_index(Service::Write), first_clock) << "test files made before the clock";
  EXPECT_LT(first_clock, fake::first_index(Service::Copy));
  EXPECT_GT(last_clock, fake::last_index(Service::Copy));
  EXPECT_LT(last_clock, fake::first_index(Service::Delete)) << "removal after the clock";
}

TEST_F(HlTrial, CopiesAreExactAndNamedBesideTheirSources) {
  const std::string dir = fake_work_directory();
  fake::fail_every(Service::Delete);  // keep the directory to look at it
  run_trial(printer, trials, hl, "C:", 2, 2);
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(fake::state().files.count(copy_file_path(dir, i)));
    EXPECT_EQ(fake::state().files[copy_file_path(dir, i)], fake::state().files[test_file_path(dir, i)]);
  }
}

TEST_F(HlTrial, CopyFailureStopsTheLoopAndKeepsTheDirectory) {
  const std::string dir = fake_work_directory();
  fake::fail_path(Service::Copy, test_file_path(dir, 1));
  fake::state().clock_readings = {5, 9};
  EXPECT_FALSE(run_trial(printer, trials, hl, "C:", 1, 3).copied());
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...Copy Failed!\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: copy '" + test_file_path(dir, 1) + "': injected fault\n" +
            kept_line(4, 4096));
  EXPECT_TRUE(fake::state().files.count(copy_file_path(dir, 0)));
  EXPECT_FALSE(fake::state().files.count(copy_file_path(dir, 2))) << "files after the failure not copied";
  EXPECT_EQ(fake::count_of(Service::Copy), 2);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(fake::state().files.count(test_file_path(dir, i)));
  EXPECT_EQ(fake::count_of(Service::Delete), 0);
}

TEST_F(HlTrial, ACopyReadBackWrongFailsTheTrialAndTheNextTrialGetsTheSameFiles) {
  // Without the check, the same two trials would draw the first trial's test
  // files and then the second's from where those ended.
  OneDrawAtATime draws{12345};
  for (int i = 0; i < 3 * 2048; ++i) draws.byte();
  std::string second_files;
  for (int i = 0; i < 2048; ++i) second_files.append(2, static_cast<char>(draws.byte()));

  const std::string dir = fake_work_directory();
  fake::state().flipped_on_read[copy_file_path(dir, 1)] = 777;
  fake::state().clock_readings = {10, 20};
  EXPECT_FALSE(run_trial(printer, trials, hl, "C:", 4, 3).copied());
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: '" + copy_file_path(dir, 1) +
                "' differs from what was written at byte 777 (4873 bytes checked)\n" +
            kept_line(6, 24576));
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...Copy Failed!\n");
  EXPECT_EQ(fake::paths_under(dir).size(), 6u) << "test files and copies kept";
  EXPECT_EQ(fake::count_of(Service::Delete), 0);
  const auto& ev = fake::state().events;
  for (int i = 0; i < copy_clock_index(1); ++i)
    EXPECT_FALSE(ev[i].service == Service::Open && ev[i].path == copy_file_path(dir, 1))
        << "the copies are read back after the clock";
  EXPECT_EQ(fake::state().live_buffers, 0);

  fake::state().calendar_seconds += 1;
  fake::fail_every(Service::Delete);  // keep the second trial's files to look at them
  fake::state().clock_readings = {30, 45};
  EXPECT_EQ(run_trial(printer, trials, hl, "C:", 4, 1).elapsed_ms, 15u);
  EXPECT_EQ(fake::state().files[test_file_path(fake_work_directory(), 0)], second_files);
}

TEST_F(HlTrial, ATestFileReadBackWrongFailsTheTrialAsACopyDoes) {
  // As on a medium that wrapped the copies onto the test files: the copies
  // read back right, a test file does not.
  const std::string dir = fake_work_directory();
  fake::state().flipped_on_read[test_file_path(dir, 1)] = 5000;
  fake::state().clock_readings = {10, 20};
  EXPECT_FALSE(run_trial(printer, trials, hl, "C:", 64, 2).copied());
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...Copy Failed!\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: test file '" + test_file_path(dir, 1) +
                "' differs from what was written at byte 5000 (201608 bytes checked)\n" +
            kept_line(4, 262144));
  EXPECT_EQ(fake::paths_under(dir).size(), 4u) << "test files and copies kept";
  EXPECT_EQ(fake::count_of(Service::Delete), 0);
  EXPECT_EQ(fake::open_handle_count(), 0);
}

TEST_F(HlTrial, InitFailures) {
  // The directory exists already (a trial in the same second left it behind).
  fake::state().directories.insert(fake_work_directory());
  EXPECT_FALSE(run_trial(printer, trials, hl, "C:", 4, 2).copied());
  EXPECT_EQ(fake::console_text(), "Preparing...Init Failed\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: create directory '" + fake_work_directory() + "': exists\n");
  EXPECT_EQ(fake::count_of(Service::Open), 0);

  // A test file that cannot be made: its message, then Init Failed; the directory stays.
  fake::reset();
  fake::fail_path(Service::Open, test_file_path(fake_work_directory(), 1));
  EXPECT_FALSE(run_trial(printer, trials, hl, "C:", 4, 3).copied());
  EXPECT_EQ(fake::console_text(),
            "Preparing... CreateFile Error:INVALID_HANDLE_VALUE\nInit Failed\n");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: open '" +
                                          test_file_path(fake_work_directory(), 1) +
                                          "': injected fault\n" + kept_line(1, 4096))
      << "the test file's failure and the directory kept, none for Init Failed";
  EXPECT_EQ(fake::paths_under(fake_work_directory()).size(), 1u);

  // A drive that names nothing writable.
  fake::reset();
  EXPECT_FALSE(run_trial(printer, trials, hl, "Q:", 4, 1).copied());
  EXPECT_EQ(fake::console_text(), "Preparing...Init Failed\n");
}

TEST_F(HlTrial, OverlongPathsAreRefusedBeforeAnythingIsCreated) {
  const std::string drive = "C:\\" + std::string(70, 'x');
  fake::state().directories.insert(drive);
  // "\Varnoquelbit1225000000" is 23 characters: 96 for the directory, over 99 with "\test0.dat".
  EXPECT_FALSE(run_trial(printer, trials, hl, drive, 4, 1).copied());
  EXPECT_EQ(fake::console_text(), "Preparing...Init Failed\n");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: create directory '" + drive +
                                          "\\Varnoquelbit1225000000': trial paths longer than "
                                          "99 characters\n");
  EXPECT_EQ(fake::count_of(Service::CreateDirectory), 0);
  EXPECT_EQ(fake::count_of(Service::Open), 0);
}

TEST_F(HlTrial, WrappingClockStillGivesTheElapsedTime) {
  fake::state().clock_readings = {0xFFFFFF00u, 0x00000100u};
  EXPECT_EQ(run_trial(printer, trials, hl, "C:", 4, 1).elapsed_ms, 0x200u);
}

TEST_F(HlTrial, ZeroFilesMakesAndRemovesAnEmptyDirectory) {
  fake::state().clock_readings = {42, 42};
  const TrialResult trial = run_trial(printer, trials, hl, "C:", 4, 0);
  EXPECT_TRUE(trial.copied());
  EXPECT_EQ(trial.elapsed_ms, 0u);
  EXPECT_EQ(fake::console_text(), "Preparing... Testing... Done.");
  EXPECT_EQ(fake::count_of(Service::CreateDirectory), 1);
  EXPECT_EQ(fake::count_of(Service::Clock), 4) << "the copies' clock and their write-out's";
  EXPECT_FALSE(fake::state().directories.count(fake_work_directory()));
}

// A trial that got through but could not remove its directory keeps its
// result and hands back what stays, for the test run to tell once the
// trial's line has ended; nothing is said while the line is open.
TEST_F(HlTrial, AnUnremovableDirectoryIsHandedBackWithTheResult) {
  fake::fail_every(Service::RemoveDirectory);
  fake::state().clock_readings = {0, 30};
  const TrialResult result = run_trial(printer, trials, hl, "C:", 4, 1);
  EXPECT_EQ(result.elapsed_ms, 30u);
  EXPECT_EQ(fake::console_text(), "Preparing... Testing... Done.");
  EXPECT_EQ(fake::diagnostics_text(), "");
  EXPECT_EQ(result.left_behind.path, fake_work_directory());
  EXPECT_EQ(result.left_behind.reason, "injected fault");
  EXPECT_TRUE(fake::state().directories.count(fake_work_directory()));
  EXPECT_TRUE(fake::state().held_directories.empty()) << "let go of before the removal";
}

// Names someone plants in the work directory the moment it appears are
// never written through: the step that meets one fails with its own text,
// says why on standard error, and leaves the planted file as it was.
TEST_F(HlTrial, ANamePlantedInTheWorkDirectoryFailsItsStepAndStaysAsItWas) {
  struct Case {
    const CopyMethodRow* method;
    const char* name;
    const char* console;
    int files_kept;  // the planted one of 6 bytes among them
    std::uint64_t bytes_kept;
  } cases[] = {
      {&hl, "test1.dat", "Preparing... CreateFile Error:INVALID_HANDLE_VALUE\nInit Failed\n", 2,
       4096 + 6},
      {&hl, "copy1.dat", "Preparing... Testing...Copy Failed!\n", 4, 3 * 4096 + 6},
      {&ll, "copy1.dat", "Preparing... Testing...open to failed\n", 4, 2 * 4096 + 6},
  };
  for (const Case& c : cases) {
    fake::reset();
    const std::string planted = fake_work_directory() + "\\" + c.name;
    fake::state().planted_in_new_directories[c.name] = "theirs";
    EXPECT_FALSE(run_trial(printer, trials, *c.method, "C:", 4, 2, c.method->takes_buffer ? 4 : 0).copied())
        << c.name;
    EXPECT_EQ(fake::console_text(), c.console) << c.name;
    EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: create '" + planted + "': File exists\n" +
                                            kept_line(c.files_kept, c.bytes_kept))
        << c.name;
    EXPECT_EQ(fake::state().files[planted], "theirs") << c.name;
  }
}

// An interruption stops a whole-file copy between its pieces, and the trial
// names its work directory to the interruption layer while it has one.
TEST_F(HlTrial, InterruptionStopsACopyBetweenItsPieces) {
  const std::string dir = fake_work_directory();
  fake::state().interrupt_at_copied_byte = 131072;
  fake::fail_path(Service::Delete, copy_file_path(dir, 0));  // to look at the copy
  EXPECT_FALSE(run_trial(printer, trials, hl, "C:", 1024, 1).copied());
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...\n") << "no failure message";
  EXPECT_EQ(fake::state().files[copy_file_path(dir, 0)].size(), 131072u);
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: could not remove '" + dir + "': injected fault; it stays\n");
  EXPECT_EQ(fake::state().noted_directories, (std::vector<std::string>{dir, ""}));
}

// After the clock every copy is written out of the system's cache, timed on
// its own, and only then read back; the trial carries that time, also when
// the read-back fails, and none where the system has no such write-out.
TEST_F(HlTrial, CopiesAreWrittenOutTimedAloneBeforeTheyAreReadBack) {
  const std::string dir = fake_work_directory();
  fake::state().clock_readings = {0, 100, 200, 1200};
  const TrialResult trial = run_trial(printer, trials, hl, "C:", 4, 3);
  EXPECT_TRUE(trial.copied());
  EXPECT_EQ(trial.elapsed_ms, 100u);
  ASSERT_TRUE(trial.write_out_ms.has_value());
  EXPECT_EQ(*trial.write_out_ms, 1000u);
  const auto written_out = fake::events_of(Service::WriteOut);
  ASSERT_EQ(written_out.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(written_out[i].path, copy_file_path(dir, i));
  EXPECT_LT(copy_clock_index(2), fake::first_index(Service::WriteOut));
  EXPECT_GT(copy_clock_index(3), fake::last_index(Service::WriteOut));
  EXPECT_LT(copy_clock_index(3), fake::first_index(Service::DropCache)) << "read back after";
  EXPECT_EQ(fake::open_handle_count(), 0);

  fake::reset();
  fake::state().flipped_on_read[copy_file_path(dir, 0)] = 1;
  fake::state().clock_readings = {0, 100, 200, 500};
  const TrialResult wrong = run_trial(printer, trials, hl, "C:", 4, 1);
  EXPECT_FALSE(wrong.copied());
  EXPECT_EQ(wrong.write_out_ms.value_or(0), 300u);

  fake::reset();
  fake::state().writes_out = false;
  const TrialResult unmeasured = run_trial(printer, trials, hl, "C:", 4, 2);
  EXPECT_TRUE(unmeasured.copied());
  EXPECT_FALSE(unmeasured.write_out_ms.has_value());
  EXPECT_EQ(fake::count_of(Service::WriteOut), 1) << "the first copy tells it";
}

// A write-out after the clock that fails fails the copy: the method's copy
// failure text, the reason on standard error, no read-back, the directory kept.
// Where the system offers no write-out, there is nothing to fail.
TEST_F(HlTrial, AFailedWriteOutFailsTheCopy) {
  struct Row {
    bool ll;
    const char* console;
  };
  for (const Row& row : {Row{false, "Preparing... Testing...Copy Failed!\n"},
                         Row{true, "Preparing... Testing...copy failed\n"}}) {
    fake::reset();
    const std::string dir = fake_work_directory();
    fake::fail_path(Service::WriteOut, copy_file_path(dir, 1));
    const TrialResult trial =
        row.ll ? run_trial(printer, trials, ll, "C:", 4, 3, 1)
               : run_trial(printer, trials, hl, "C:", 4, 3);
    EXPECT_EQ(trial.outcome, TrialOutcome::CopyFailed);
    EXPECT_EQ(fake::console_text(), row.console);
    EXPECT_EQ(fake::diagnostics_text(),
              "varnoquelbit: write out '" + copy_file_path(dir, 1) + "': injected fault\n" +
            kept_line(6, 24576));
    EXPECT_EQ(fake::count_of(Service::WriteOut), 2) << "stops at the failing copy";
    EXPECT_EQ(fake::count_of(Service::DropCache), 0) << "no read-back";
    EXPECT_EQ(fake::paths_under(dir).size(), 6u);
    EXPECT_EQ(fake::open_handle_count(), 0);
  }
  fake::reset();
  fake::state().writes_out = false;
  fake::fail_every(Service::WriteOut);
  EXPECT_TRUE(run_trial(printer, trials, hl, "C:", 4, 2).copied());
}

// An interruption stops the trial at the next file boundary, in the copies
// or in the making of the test files, and removes what the trial made.
TEST_F(HlTrial, InterruptionStopsAtTheNextFileAndRemovesTheWorkDirectory) {
  const std::string dir = fake_work_directory();
  fake::state().files["C:\\keep.dat"] = "the user's";
  fake::interrupt_at(Service::Copy, 2);
  EXPECT_FALSE(run_trial(printer, trials, hl, "C:", 4, 4).copied());
  EXPECT_EQ(fake::count_of(Service::Copy), 2);
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...\n");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: interrupted; removed " + dir + "\n");
  EXPECT_FALSE(fake::state().directories.count(dir));
  EXPECT_EQ(fake::paths_under("C:"), std::vector<std::string>{"C:\\keep.dat"});

  fake::reset();
  fake::interrupt_at(Service::Write, 3);  // test file 1's second MiB
  EXPECT_FALSE(run_trial(printer, trials, hl, "C:", 3072, 3).copied());
  EXPECT_EQ(fake::count_of(Service::Write), 3) << "no write after the interruption";
  EXPECT_EQ(fake::count_of(Service::Copy), 0);
  EXPECT_EQ(fake::console_text(), "Preparing...\n") << "no failure message";
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: interrupted; removed " + dir + "\n");
  EXPECT_TRUE(fake::paths_under("C:").empty());
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_EQ(fake::state().live_buffers, 0);

  // While the copies are written out: the next copy is not.
  fake::reset();
  fake::interrupt_at(Service::WriteOut, 2);
  const TrialResult writing_out = run_trial(printer, trials, hl, "C:", 4, 3);
  EXPECT_FALSE(writing_out.copied());
  EXPECT_FALSE(writing_out.write_out_ms.has_value());
  EXPECT_EQ(fake::count_of(Service::WriteOut), 2);
  EXPECT_EQ(fake::count_of(Service::DropCache), 0) << "nothing read back";
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: interrupted; removed " + dir + "\n");
  EXPECT_TRUE(fake::paths_under("C:").empty());
  EXPECT_EQ(fake::open_handle_count(), 0);

  // While the copies are read back: no failure text, no line about the copies.
  fake::reset();
  fake::interrupt_at(Service::DropCache, 1);  // reading copy 0 back
  EXPECT_FALSE(run_trial(printer, trials, hl, "C:", 4, 3).copied());
  EXPECT_EQ(fake::count_of(Service::DropCache), 1) << "the check stops at the next copy";
  EXPECT_EQ(fake::console_text(), "Preparing... Testing...\n");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: interrupted; removed " + dir + "\n");
  EXPECT_TRUE(fake::paths_under("C:").empty());
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_EQ(fake::state().live_buffers, 0);
}

// A work directory of the same name that the trial did not make is not its
// own: an interruption leaves it as it is.
TEST_F(HlTrial, InterruptionRemovesOnlyADirectoryTheTrialMade) {
  const std::string dir = fake_work_directory();
  fake::state().directories.insert(dir);
  fake::state().files[dir + "\\test0.dat"] = "an earlier trial's";
  fake::state().interrupted = true;
  EXPECT_FALSE(run_trial(printer, trials, hl, "C:", 4, 1).copied());
  EXPECT_EQ(fake::console_text(), "Preparing...\n");
  EXPECT_EQ(fake::diagnostics_text(), "");
  EXPECT_EQ(fake::state().files[dir + "\\test0.dat"], "an earlier trial's");
}

}  // namespace
