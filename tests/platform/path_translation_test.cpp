// Drive strings and logical paths on POSIX: a letter and a colon stand for
// the current directory, backslashes separate names.
#include <sys/statvfs.h>

#include "platform/directories.h"
#include "platform/files.h"
#include "platform/posix/posix_paths.h"
#include "platform/volume_description.h"
#include "tests/platform/scratch.h"

namespace {

using scratch::ScratchTest;

TEST(NativePath, DriveLetterStandsForTheCurrentDirectory) {
  EXPECT_EQ(native_path("C:"), ".");
  EXPECT_EQ(native_path("d:"), ".");
  EXPECT_EQ(native_path("C:\\"), "./");
  EXPECT_EQ(native_path("C:\\bench"), "./bench");
  EXPECT_EQ(native_path("C:bench"), "./bench");
  EXPECT_EQ(native_path("z:\\Varnoquelbit1733650000\\test0.dat"),
            "./Varnoquelbit1733650000/test0.dat");
}

TEST(NativePath, OtherDriveStringsAreKeptWithBackslashesTranslated) {
  EXPECT_EQ(native_path("/mnt/vol\\Varnoquelbit1733650000\\copy3.dat"),
            "/mnt/vol/Varnoquelbit1733650000/copy3.dat");
  EXPECT_EQ(native_path("bench\\a"), "bench/a");
  // The empty drive string leads to the root, as on Windows.
  EXPECT_EQ(native_path("\\Varnoquelbit1"), "/Varnoquelbit1");
  EXPECT_EQ(native_path(""), "");
  // Only a letter before the colon makes a drive.
  EXPECT_EQ(native_path("1:\\x"), "1:/x");
  EXPECT_EQ(native_path("CD:\\x"), "CD:/x");
}

class DriveStrings : public ScratchTest {};

TEST_F(DriveStrings, DriveLetterPathsLandInTheCurrentDirectory) {
  ASSERT_TRUE(create_directory("C:\\sub"));
  EXPECT_TRUE(scratch::exists(dir_ + "/sub"));
  const FileHandle file =
      open_unbuffered("C:sub\\file.dat", FileAccess::Write, FileDisposition::CreateNew);
  ASSERT_NE(file, kInvalidFile);
  close_file(file);
  EXPECT_TRUE(scratch::exists(dir_ + "/sub/file.dat"));
  OpenFile lower_case("c:\\sub\\file.dat", FileAccess::Read, FileDisposition::OpenExisting);
  EXPECT_NE(lower_case.handle(), kInvalidFile) << "a lower-case drive letter too";
  lower_case = OpenFile();
  ASSERT_TRUE(scratch::remove_file(dir_ + "/sub/file.dat"));
  EXPECT_TRUE(remove_directory("C:\\sub"));
  EXPECT_FALSE(scratch::exists(dir_ + "/sub"));
}

TEST_F(DriveStrings, AbsoluteDriveStringIsUsedAsItIs) {
  ASSERT_EQ(::chdir("/"), 0);  // the current directory must play no part
  const std::string drive = dir_ + "/target";
  ASSERT_TRUE(create_directory(drive));
  ASSERT_TRUE(create_directory(drive + "\\Varnoquelbit7"));
  EXPECT_TRUE(scratch::exists(dir_ + "/target/Varnoquelbit7"));
  EXPECT_FALSE(copy_whole_file(drive, drive + "\\copy.dat"));  // a directory is no file
}

TEST_F(DriveStrings, VolumeOfDriveLetterIsTheCurrentDirectorysVolume) {
  VolumeFigures figures;
  ASSERT_TRUE(query_volume("C:", figures));
  struct statvfs status;
  ASSERT_EQ(::statvfs(dir_.c_str(), &status), 0);
  EXPECT_EQ(figures.total_bytes, static_cast<std::uint64_t>(status.f_blocks) * status.f_frsize);
}

}  // namespace
