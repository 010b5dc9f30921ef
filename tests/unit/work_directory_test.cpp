#include <gtest/gtest.h>

#include "fake_fixture.h"
#include "platform/directories.h"
#include "trials/work_directory.h"

namespace {

using fake::Service;

class WorkDirectory : public FakePlatformTest {};

TEST_F(WorkDirectory, NamesComeFromTheDriveAndTheCalendarClock) {
  fake::state().calendar_seconds = 1733650000;
  EXPECT_EQ(work_directory_path("C:"), "C:\\Varnoquelbit1733650000");
  EXPECT_EQ(work_directory_path("D:\\"), "D:\\\\Varnoquelbit1733650000") << "drive used unchanged";
  EXPECT_EQ(test_file_path("C:\\W", 0), "C:\\W\\test0.dat");
  EXPECT_EQ(copy_file_path("C:\\W", 10), "C:\\W\\copy10.dat");
}

TEST_F(WorkDirectory, OnlyTheLow32BitsOfTheClockAreUsedAsASignedNumber) {
  fake::state().calendar_seconds = 2147483648LL;  // 19 January 2038
  EXPECT_EQ(work_directory_path("C:"), "C:\\Varnoquelbit-2147483648");
  fake::state().calendar_seconds = (1LL << 32) + 5;
  EXPECT_EQ(work_directory_path("C:"), "C:\\Varnoquelbit5");
}

TEST_F(WorkDirectory, PathsLongerThan99CharactersDoNotFit) {
  const std::string dir79(79, 'd');  // + "\test9.dat" (10) = 89, + "\test99.dat" = 90
  EXPECT_TRUE(trial_paths_fit(dir79, 10));
  const std::string dir89(89, 'd');  // + "\test9.dat" = 99 fits, "\test10.dat" = 100 does not
  EXPECT_TRUE(trial_paths_fit(dir89, 10));
  EXPECT_FALSE(trial_paths_fit(dir89, 11));
  EXPECT_TRUE(trial_paths_fit(std::string(99, 'd'), 0));
  EXPECT_FALSE(trial_paths_fit(std::string(100, 'd'), 0));
}

}  // namespace
