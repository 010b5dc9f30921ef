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

class RemoveTree : public FakePlatformTest {
 protected:
  void SetUp() override {
    FakePlatformTest::SetUp();
    auto& p = fake::state();
    p.directories.insert("C:\\W");
    p.directories.insert("C:\\W\\sub");
    p.files["C:\\W\\a.dat"] = "a";
    p.files["C:\\W\\b.dat"] = "b";
    p.files["C:\\W\\sub\\c.dat"] = "c";
  }
};

TEST_F(RemoveTree, RemovesEverythingBelowAndTheDirectory) {
  EXPECT_TRUE(remove_tree("C:\\W"));
  EXPECT_FALSE(fake::state().directories.count("C:\\W"));
  EXPECT_TRUE(fake::paths_under("C:").empty());
  EXPECT_TRUE(fake::state().searches.empty()) << "every listing is closed";
}

TEST_F(RemoveTree, TrailingBackslashIsNotDoubled) {
  EXPECT_TRUE(remove_tree("C:\\W\\"));
  const auto firsts = fake::events_of(Service::FindFirst);
  ASSERT_FALSE(firsts.empty());
  EXPECT_EQ(firsts[0].path, "C:\\W\\*");
  const auto removes = fake::events_of(Service::RemoveDirectory);
  EXPECT_EQ(removes.back().path, "C:\\W\\") << "removed by the path it was called with";
}

TEST_F(RemoveTree, DotEntriesAreSkippedSoTheDirectoryStays) {
  fake::state().files["C:\\W\\.keep"] = "";
  EXPECT_FALSE(remove_tree("C:\\W"));
  EXPECT_TRUE(fake::state().files.count("C:\\W\\.keep"));
  EXPECT_TRUE(fake::state().directories.count("C:\\W"));
  EXPECT_FALSE(fake::state().files.count("C:\\W\\a.dat")) << "the other entries were removed";
}

TEST_F(RemoveTree, StopsAtTheFirstEntryThatCannotBeDeleted) {
  fake::fail_path(Service::Delete, "C:\\W\\a.dat");
  EXPECT_FALSE(remove_tree("C:\\W"));
  EXPECT_TRUE(fake::state().files.count("C:\\W\\b.dat")) << "later entries are not attempted";
  EXPECT_EQ(fake::count_of(Service::RemoveDirectory), 0);
  EXPECT_TRUE(fake::state().searches.empty());
}

TEST_F(RemoveTree, FailureInASubdirectoryStopsTheWholeRemoval) {
  fake::fail_path(Service::Delete, "C:\\W\\sub\\c.dat");
  fake::state().files["C:\\W\\z.dat"] = "z";
  EXPECT_FALSE(remove_tree("C:\\W"));
  EXPECT_TRUE(fake::state().files.count("C:\\W\\z.dat"));
  EXPECT_TRUE(fake::state().searches.empty());
}

TEST_F(RemoveTree, DirectoryLinksAreRemovedAsLinksNeverEntered) {
  auto& p = fake::state();
  p.directories.insert("C:\\outside");
  p.files["C:\\outside\\precious.dat"] = "keep me";
  p.directory_links.insert("C:\\W\\link");
  EXPECT_TRUE(remove_tree("C:\\W"));
  EXPECT_EQ(p.files["C:\\outside\\precious.dat"], "keep me");
  for (const auto& e : fake::events_of(Service::FindFirst))
    EXPECT_EQ(e.path.find("link"), std::string::npos) << "listed through the link: " << e.path;
}

TEST_F(RemoveTree, UnlistableDirectoryAndOverlongPathsFail) {
  EXPECT_FALSE(remove_tree("C:\\missing"));
  const std::string deep = "C:\\" + std::string(260, 'x');
  fake::state().directories.insert(deep);
  EXPECT_FALSE(remove_tree(deep));
  EXPECT_TRUE(fake::state().directories.count(deep));
  EXPECT_EQ(fake::count_of(Service::FindFirst), 1) << "an overlong pattern is never listed";
}

}  // namespace
