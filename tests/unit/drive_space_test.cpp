#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "fake_fixture.h"
#include "testrun/drive_space.h"
#include "testrun/shared_lines.h"

namespace {

using fake::Service;

class DriveSpace : public FakePlatformTest {
 protected:
  void SetUp() override {
    FakePlatformTest::SetUp();
    // D: 10 GiB, 5 GiB free.
    fake::add_volume("D:", VolumeFigures{1310720ull * 4096, 2621440ull * 4096});
  }
  void use_fixed() { run.fixed_figures = true; }
  // Asks for the drive's free space as a test of its own would.
  bool drive_free_kib(const std::string& drive, RunContext& context, std::int64_t& kib) {
    context.record.tests.emplace_back().drive = drive;
    return ::drive_free_kib(drive, context, context.record.tests.back(), kib);
  }
  // The disk lines the report shows.
  std::string report() const {
    std::string lines;
    for (const TestRecord& test : run.record.tests)
      if (test.disk_line) lines += disk_line_text(test.drive, *test.disk_line) + "\r\n";
    return lines;
  }
  RunContext run;
  std::int64_t free_kib = 0;
};

TEST_F(DriveSpace, DiskLineInFixedFormat) {
  use_fixed();
  // The description's own figures, a moment later, differ: the record keeps
  // those the disk line printed.
  fake::describe_as("D:").figures = VolumeFigures{4096, 8192};
  ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
  EXPECT_EQ(free_kib, 5242880);
  ASSERT_TRUE(run.record.tests.back().volume.has_value());
  EXPECT_EQ(run.record.tests.back().volume->figures->free_bytes, 1310720ull * 4096);
  EXPECT_EQ(fake::console_text(), "Disk D: Capacity: Total=10.000[GB] Free=5.000[GB]\n");
  EXPECT_EQ(report(), "Disk D: Capacity: Total=10.000[GB] Free=5.000[GB]\r\n");
}

TEST_F(DriveSpace, DiskLineInDefaultFormat) {
  ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
  EXPECT_EQ(fake::console_text(), "Disk D: Capacity: Total=10[GB] Free=5[GB]\n");
  EXPECT_EQ(report(), "Disk D: Capacity: Total=10[GB] Free=5[GB]\r\n");
}

TEST_F(DriveSpace, FractionalGigabytes) {
  // 1,000,000 KiB free.
  fake::add_volume("E:", VolumeFigures{250000ull * 4096, 262144ull * 4096});
  ASSERT_TRUE(drive_free_kib("E:", run, free_kib));
  EXPECT_EQ(free_kib, 1000000);
  EXPECT_EQ(fake::console_text(), "Disk E: Capacity: Total=1[GB] Free=0.953674[GB]\n");
  run.trials.drives.clear();
  fake::state().console.str("");
  use_fixed();
  ASSERT_TRUE(drive_free_kib("E:", run, free_kib));
  EXPECT_EQ(fake::console_text(), "Disk E: Capacity: Total=1.000[GB] Free=0.954[GB]\n");
}

TEST_F(DriveSpace, VolumesBeyond16TiBAreNotTruncated) {
  // 64 TiB: more 4 KiB clusters than 32 bits hold.
  fake::add_volume("F:", VolumeFigures{(1ull << 34) * 4096, (1ull << 34) * 4096});
  ASSERT_TRUE(drive_free_kib("F:", run, free_kib));
  EXPECT_EQ(free_kib, 1ll << 36);
  EXPECT_EQ(fake::console_text(), "Disk F: Capacity: Total=65536[GB] Free=65536[GB]\n");
}

TEST_F(DriveSpace, EachDriveStringIsQueriedOnceAndKeyedByItsExactBytes) {
  fake::add_volume("d:", VolumeFigures{4096, 2621440ull * 4096});
  ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
  ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
  EXPECT_EQ(fake::count_of(Service::Volume), 1);
  ASSERT_TRUE(drive_free_kib("d:", run, free_kib));
  EXPECT_EQ(free_kib, 4) << "c: and C: are different keys";
  EXPECT_EQ(fake::count_of(Service::Volume), 2);
  EXPECT_EQ(report(),
            "Disk D: Capacity: Total=10[GB] Free=5[GB]\r\n"
            "Disk d: Capacity: Total=10[GB] Free=3.8147e-06[GB]\r\n");
}

TEST_F(DriveSpace, CachedFigureIsNeverRemeasured) {
  ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
  fake::state().volumes["D:"].free_bytes = 0;
  ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
  EXPECT_EQ(free_kib, 5242880);
}

TEST_F(DriveSpace, FailedQueryIsReportedOnTheConsoleOnlyAndRetried) {
  EXPECT_FALSE(drive_free_kib("Q:", run, free_kib));
  EXPECT_FALSE(drive_free_kib("Q:", run, free_kib));
  EXPECT_EQ(fake::console_text(),
            "Could not Get the Drive Information of Q:\nCould not Get the Drive Information of Q:\n");
  EXPECT_EQ(fake::diagnostics_text(), "varnoquelbit: query volume 'Q:': no such volume\n"
                                      "varnoquelbit: query volume 'Q:': no such volume\n");
  EXPECT_EQ(report(), "");
  EXPECT_EQ(fake::count_of(Service::Volume), 2);
  EXPECT_TRUE(run.trials.drives.empty());
}

// The first query of a drive names its volume on a terminal, once; a
// directory under a media mount directory that lies on the root file system is
// told anywhere.
TEST_F(DriveSpace, FirstQueryNamesTheVolumeOnATerminalOnly) {
  VolumeDescription& d = fake::describe_as("D:");
  d.path = "/home/u/bench";
  d.source = "/dev/vda1";
  d.file_system = "ext4";
  d.mount_point = "/";
  d.is_mount_point = false;
  ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
  EXPECT_EQ(fake::diagnostics_text(), "");
  run.trials.drives.clear();
  fake::state().diagnostics_terminal = true;
  ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
  ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: 'D:' is /home/u/bench on /dev/vda1 (ext4, mounted at /)\n");
}

TEST_F(DriveSpace, MediaPathOnTheRootFileSystemIsToldAnywhere) {
  for (const char* path : {"/media/u/STICK", "/run/media/u/STICK", "/mnt/disk", "/mnt",
                           "/home/u/media/STICK", "/mnt2"}) {
    SCOPED_TRACE(path);
    fake::reset();
    fake::add_volume("D:", VolumeFigures{1310720ull * 4096, 2621440ull * 4096});
    VolumeDescription& d = fake::describe_as("D:");
    d.path = path;
    d.mount_point = "/";
    d.is_mount_point = false;
    run.trials.drives.clear();
    ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
    const bool under = std::string(path) != "/home/u/media/STICK" && std::string(path) != "/mnt2";
    EXPECT_EQ(fake::diagnostics_text(),
              under ? "varnoquelbit: 'D:' is not a mount point: measuring the volume mounted at "
                      "'/'\n"
                    : "");
    // Mounted there, or under another mount: the volume is the one meant.
    fake::state().diagnostics.str("");
    d.is_mount_point = true;
    run.trials.drives.clear();
    ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
    d.is_mount_point = false;
    d.mount_point = "/media/u";
    run.trials.drives.clear();
    ASSERT_TRUE(drive_free_kib("D:", run, free_kib));
    EXPECT_EQ(fake::diagnostics_text(), "");
  }
}

TEST_F(DriveSpace, RoomCheck) {
  EXPECT_TRUE(check_free_space("D:", 5242880, 4, 1000));
  EXPECT_FALSE(check_free_space("D:", 5242880, 1048576, 3));
  EXPECT_EQ(fake::console_text(), "Error: Free Space is NOT Enough.\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: not enough free space on 'D:': the test needs 6.0 GiB (3 files of 1.0 "
            "GiB and their copies), and 5.0 GiB is free\n");
  EXPECT_TRUE(check_free_space("D:", 8000, 4, 1000)) << "needed equal to free fits";
  EXPECT_FALSE(check_free_space("D:", 7999, 4, 1000));
  EXPECT_TRUE(check_free_space("D:", 0, 1048576, 0)) << "no files need no room";
}

TEST_F(DriveSpace, RoomComputationThatOverflowsDoesNotFit) {
  EXPECT_FALSE(check_free_space("D:", INT64_MAX, INT64_MAX / 2, 2));
  EXPECT_FALSE(check_free_space("D:", INT64_MAX, 4611686018427387904LL, 1));
  EXPECT_FALSE(check_free_space("D:", INT64_MAX, 9007199254740992LL, 2147483647));
  EXPECT_TRUE(check_free_space("D:", INT64_MAX, INT64_MAX / 2, 1));
}

}  // namespace
