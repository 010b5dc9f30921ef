// The benchmark's trials on a real volume: test files with exact sizes and
// content, the two copy phases compared byte for byte, and whole trials that
// leave nothing behind.
#include "platform/directories.h"
#include "platform/memory.h"
#include "tests/platform/scratch.h"
#include "trials/trial.h"
#include "trials/pseudo_random.h"
#include "trials/pattern_files.h"
#include "trials/work_directory.h"

namespace {

using scratch::ScratchTest;

class TrialsOnDisk : public ScratchTest {
 protected:
  TrialState trials;

  // Makes a work directory with `count` test files of `file_kib` KiB and
  // checks every byte of them against the generator.
  void make_checked_test_files(const std::string& work, std::int64_t file_kib, int count) {
    ASSERT_TRUE(create_directory("C:\\" + work));
    const std::uint32_t seed = 0x1234567u + static_cast<std::uint32_t>(file_kib);
    trials.generator.state = seed;
    ASSERT_TRUE(make_test_files(printer, trials.generator, "C:\\" + work, file_kib, count));
    for (int i = 0; i < count; ++i) {
      // Written past the cache: nothing of it is left there to be read.
      const std::string path = dir_ + "/" + work + "/test" + std::to_string(i) + ".dat";
      EXPECT_EQ(scratch::cached_pages(path), 0u) << path;
    }
    ASSERT_TRUE(scratch::test_files_match(dir_ + "/" + work, count, seed, file_kib));
  }

  // Every copy file holds exactly what its test file holds.
  void expect_copies_identical(const std::string& work, int count) {
    EXPECT_TRUE(scratch::copies_match(dir_ + "/" + work, count));
  }
};

TEST_F(TrialsOnDisk, TestFilesHaveExactSizesAndGeneratorContent) {
  make_checked_test_files("w1", 1, 3);
  make_checked_test_files("w5", 5, 2);
  make_checked_test_files("w1025", 1025, 2);
  // Bytes 2k and 2k+1 are equal in every test file.
  for (const std::string path : {"/w1/test2.dat", "/w5/test1.dat", "/w1025/test0.dat"}) {
    const std::string bytes = scratch::read_bytes(dir_ + path);
    ASSERT_FALSE(bytes.empty()) << path;
    std::size_t unequal = 0;
    for (std::size_t k = 0; k + 1 < bytes.size(); k += 2) unequal += bytes[k] != bytes[k + 1];
    EXPECT_EQ(unequal, 0u) << path;
  }
  // 1,025 KiB: the last KiB repeats the first.
  const std::string bytes = scratch::read_bytes(dir_ + "/w1025/test1.dat");
  EXPECT_EQ(bytes.substr(1048576), bytes.substr(0, 1024));
}

TEST_F(TrialsOnDisk, HighLevelCopyPhaseCopiesEveryFileExactly) {
  for (std::int64_t file_kib : {1, 5, 1025}) {
    const std::string work = "hl" + std::to_string(file_kib);
    make_checked_test_files(work, file_kib, 4);
    scratch::ConsoleCapture console;
    const CopyPhaseResult copied = copy_all_hl(printer, {"C:\\" + work, 4});
    ASSERT_TRUE(copied.ok);
    EXPECT_LT(copied.elapsed_ms, 60000u);
    EXPECT_EQ(console.text(), "");
    expect_copies_identical(work, 4);
    EXPECT_TRUE(remove_tree("C:\\" + work));
    EXPECT_FALSE(scratch::exists(dir_ + "/" + work));
  }
}

TEST_F(TrialsOnDisk, LowLevelCopyPhaseCopiesEveryFileExactly) {
  struct Case {
    std::int64_t file_kib;
    std::int64_t buffer_kib;
  };
  // Whole buffers with and without a tail, a buffer larger than the file, and
  // buffers that are no multiple of the page size.
  const Case cases[] = {{1024, 64}, {1025, 64}, {4, 1024}, {5, 2}, {5, 1}, {1, 5}, {64, 64}};
  for (const Case& c : cases) {
    const std::string work =
        "ll" + std::to_string(c.file_kib) + "_" + std::to_string(c.buffer_kib);
    make_checked_test_files(work, c.file_kib, 3);
    const IoBuffer buffer(transfer_bytes(c.buffer_kib));
    ASSERT_NE(buffer.bytes(), nullptr);
    scratch::ConsoleCapture console;
    const CopyPhaseResult copied =
        copy_all_ll(printer, {"C:\\" + work, 3, c.file_kib, c.buffer_kib, buffer.bytes()});
    ASSERT_TRUE(copied.ok) << work << ": " << console.text();
    EXPECT_LT(copied.elapsed_ms, 60000u);
    expect_copies_identical(work, 3);
    EXPECT_TRUE(remove_tree("C:\\" + work));
    EXPECT_FALSE(scratch::exists(dir_ + "/" + work));
  }
}

TEST_F(TrialsOnDisk, WholeTrialsRunAndLeaveNoWorkDirectory) {
  scratch::ConsoleCapture console;
  run_trial(printer, trials, copy_method_row(CopyMethod::HL), "C:", 64, 5);
  run_trial(printer, trials, copy_method_row(CopyMethod::LL), "C:", 100, 3, 64);
  run_trial(printer, trials, copy_method_row(CopyMethod::HL), dir_, 1025, 2);
  run_trial(printer, trials, copy_method_row(CopyMethod::LL), dir_, 1025, 2, 5);
  const std::string text = console.text();
  EXPECT_EQ(text,
            "Preparing... Testing... Done.Preparing... Testing... Done."
            "Preparing... Testing... Done.Preparing... Testing... Done.");
  EXPECT_TRUE(scratch::work_directories(dir_).empty());
}

TEST_F(TrialsOnDisk, FailedTrialLeavesItsWorkDirectory) {
  // A copy file name taken by a directory: the LL trial cannot create it.
  scratch::ConsoleCapture console;
  ASSERT_TRUE(create_directory("C:\\blocked"));
  make_checked_test_files("blocked/w", 1, 2);
  ASSERT_TRUE(create_directory("C:\\blocked\\w\\copy1.dat"));
  const IoBuffer buffer(1024);
  EXPECT_FALSE(copy_all_ll(printer, {"C:\\blocked\\w", 2, 1, 1, buffer.bytes()}).ok);
  EXPECT_EQ(console.text(), "open to failed\n");
  EXPECT_TRUE(scratch::exists(dir_ + "/blocked/w/copy0.dat"));
  EXPECT_EQ(scratch::file_size(dir_ + "/blocked/w/copy0.dat"), 0);
}

}  // namespace
