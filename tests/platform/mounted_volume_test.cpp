// The platform layer on volumes mounted for the test (root only): ext4 on a
// loop device with 4096-byte logical sectors, where 1 KiB transfers cannot be
// done with direct I/O; XFS with reflink and btrfs, which can share blocks
// between files; a tmpfs that runs out of inodes; a ramfs, which has no
// direct I/O at all; tmpfs volumes stacked on a mount point and taken off
// again, and a FUSE volume, as the volume descriptions tell them.
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/directories.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/volume_description.h"
#include "tests/platform/scratch.h"
#include "trials/trial.h"
#include "trials/pseudo_random.h"
#include "trials/pattern_files.h"
#include "trials/work_directory.h"

namespace {

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string shell_quoted(const std::string& path) { return "'" + path + "'"; }

std::string real_path_of(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return "";
  const std::string resolved = real;
  std::free(real);
  return resolved;
}

// A scratch area with a mount point; whatever the test mounted or attached
// is taken down again in TearDown, also after a failure.
class MountedVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) SKIP_UNLESS_CI("mounting a volume needs root");
    area_ = scratch::make_directory();
    ASSERT_FALSE(area_.empty()) << "mkdtemp failed";
    mount_point_ = area_ + "/mnt";
    ASSERT_EQ(::mkdir(mount_point_.c_str(), 0755), 0);
  }

  void TearDown() override {
    if (mounted_) {
      std::string output;
      if (!scratch::run("umount " + shell_quoted(mount_point_), &output)) {
        ADD_FAILURE() << "umount: " << output;
        scratch::run("umount -l " + shell_quoted(mount_point_));
      }
    }
    if (!loop_device_.empty()) {
      std::string output;
      EXPECT_TRUE(scratch::run("losetup -d " + loop_device_, &output)) << output;
    }
    if (!area_.empty()) scratch::remove_all(area_);
  }

  // Mounts with the given mount arguments; false (with the reason) on failure.
  bool mount(const std::string& arguments, std::string* why) {
    std::string output;
    if (!scratch::run("mount " + arguments + " " + shell_quoted(mount_point_), &output)) {
      *why = "mount " + arguments + ": " + trimmed(output);
      return false;
    }
    mounted_ = true;
    return true;
  }

  // An ext4 image of `megabytes` on a loop device with the given logical sector size.
  bool mount_ext4_image(int megabytes, int sector_bytes, std::string* why) {
    // 4096-byte blocks: a file system block may not be smaller than the
    // device's logical sector, and mkfs picks 1 KiB blocks for small images.
    return mount_image("mkfs.ext4 -q -F -b 4096", megabytes, sector_bytes, why);
  }

  // An image of `megabytes` made by the mkfs command, on a loop device with
  // the given logical sector size.
  bool mount_image(const std::string& mkfs, int megabytes, int sector_bytes, std::string* why) {
    std::string output;
    if (::access("/dev/loop-control", F_OK) != 0) {
      *why = "no /dev/loop-control: loop devices are not available";
      return false;
    }
    const std::string image = area_ + "/volume.img";
    if (!scratch::run("truncate -s " + std::to_string(megabytes) + "M " + shell_quoted(image) +
                          " && " + mkfs + " " + shell_quoted(image),
                      &output)) {
      *why = mkfs + ": " + trimmed(output);
      return false;
    }
    if (!scratch::run("losetup --sector-size " + std::to_string(sector_bytes) +
                          " -f --show " + shell_quoted(image),
                      &output)) {
      *why = "losetup: " + trimmed(output);
      return false;
    }
    loop_device_ = trimmed(output);
    return mount(loop_device_, why);
  }

  // The logical sector size of the loop device, from sysfs.
  int loop_sector_bytes() {
    const std::string name = loop_device_.substr(loop_device_.rfind('/') + 1);
    return std::atoi(
        scratch::read_bytes("/sys/block/" + name + "/queue/logical_block_size").c_str());
  }

  TrialState trials;
  std::string area_;
  std::string mount_point_;
  std::string loop_device_;
  bool mounted_ = false;
};

class Ext4With4096ByteSectors : public MountedVolume {
 protected:
  void SetUp() override {
    MountedVolume::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string why;
    if (!mount_ext4_image(64, 4096, &why)) SKIP_UNLESS_CI(why);
    ASSERT_EQ(loop_sector_bytes(), 4096);
  }
};

TEST_F(Ext4With4096ByteSectors, TransfersTheVolumeRefusesForDirectIoStillSucceed) {
  const std::string path = mount_point_ + "/odd.dat";
  auto* buffer = static_cast<unsigned char*>(allocate_io_buffer(8192));
  ASSERT_NE(buffer, nullptr);
  for (int i = 0; i < 8192; ++i) buffer[i] = static_cast<unsigned char>(i * 7 + (i >> 8));
  const std::string written(reinterpret_cast<char*>(buffer), 8192);

  const FileHandle out = open_unbuffered(path, FileAccess::Write, FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  const int fd = static_cast<int>(out);
  EXPECT_TRUE(write_file(out, buffer, 4096));
  EXPECT_NE(::fcntl(fd, F_GETFL) & O_DIRECT, 0) << "a whole sector goes direct";
  EXPECT_TRUE(write_file(out, buffer + 4096, 1024));
  EXPECT_EQ(::fcntl(fd, F_GETFL) & O_DIRECT, 0) << "1 KiB cannot go direct";
  EXPECT_TRUE(write_file(out, buffer + 5120, 3072));
  flush_file(out);
  EXPECT_EQ(scratch::cached_pages(path), 0u);
  close_file(out);
  EXPECT_EQ(scratch::read_bytes(path), written);

  const FileHandle in = open_unbuffered(path, FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(in, kInvalidFile);
  std::memset(buffer, 0, 8192);
  EXPECT_TRUE(read_file(in, buffer, 2048));
  EXPECT_TRUE(read_file(in, buffer + 2048, 6144));
  EXPECT_TRUE(read_file(in, buffer, 0));
  close_file(in);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 8192), written);
  release_io_buffer(buffer);
}

TEST_F(Ext4With4096ByteSectors, DescriptionNamesTheMountTheLoopDeviceAndItsImage) {
  ASSERT_EQ(::mkdir((mount_point_ + "/sub").c_str(), 0755), 0);
  struct stat status;
  ASSERT_EQ(::stat(mount_point_.c_str(), &status), 0);
  const std::string mounted_at = real_path_of(mount_point_);
  for (const std::string& drive : {mount_point_, mount_point_ + "\\sub"}) {
    VolumeDescription volume;
    ASSERT_TRUE(describe_volume(drive, volume)) << drive;
    EXPECT_EQ(volume.identity.value, static_cast<std::uint64_t>(status.st_dev)) << drive;
    EXPECT_EQ(volume.file_system, "ext4");
    EXPECT_EQ(volume.source, loop_device_);
    EXPECT_EQ(volume.mount_point, mounted_at);
    EXPECT_EQ(volume.is_mount_point, drive == mount_point_) << drive;
    EXPECT_EQ(volume.cache, VolumeCache::None);
    EXPECT_EQ("/dev/" + volume.disk.name, loop_device_);
    EXPECT_EQ(volume.disk.transport, "loop");
    EXPECT_EQ(volume.disk.backing_file, area_ + "/volume.img");
    EXPECT_EQ(volume.disk.logical_sector_bytes, 4096u);
    EXPECT_TRUE(volume.disk.physical_sector_bytes.has_value());
    EXPECT_EQ(volume.disk.removable, false);
    ASSERT_TRUE(volume.figures.has_value());
    EXPECT_GT(volume.figures->total_bytes, 48u << 20);
    EXPECT_LE(volume.figures->total_bytes, 64u << 20);
  }
}

TEST_F(Ext4With4096ByteSectors, TestFilesAndCopiesOfOddSizesAreExact) {
  const std::string drive = mount_point_;
  const std::int64_t sizes[] = {1, 5, 2};
  for (std::int64_t file_kib : sizes) {
    for (std::int64_t buffer_kib : sizes) {
      const std::string name = "w" + std::to_string(file_kib) + "_" + std::to_string(buffer_kib);
      const std::string work = drive + "\\" + name;
      const std::string native = mount_point_ + "/" + name;
      ASSERT_TRUE(create_directory(work));
      const std::uint32_t seed = 777u + static_cast<std::uint32_t>(file_kib * 10 + buffer_kib);
      trials.generator.state = seed;
      scratch::ConsoleCapture console;
      ASSERT_TRUE(make_test_files(trials.generator, work, file_kib, 3));
      EXPECT_EQ(scratch::cached_pages(native + "/test2.dat"), 0u) << name;
      ASSERT_TRUE(scratch::test_files_match(native, 3, seed, file_kib)) << name;

      const IoBuffer buffer(transfer_bytes(buffer_kib));
      ASSERT_TRUE(copy_all_ll({work, 3, file_kib, buffer_kib, buffer.bytes()}).ok)
          << name << ": " << console.text();
      // Flushed copies are on the medium, not in the cache.
      EXPECT_EQ(scratch::cached_pages(native + "/copy0.dat"), 0u) << name;
      EXPECT_TRUE(scratch::copies_match(native, 3)) << "LL " << name;

      // HL makes its copies anew.
      for (int i = 0; i < 3; ++i) ASSERT_TRUE(delete_file(copy_file_path(work, i))) << name;
      ASSERT_TRUE(copy_all_hl({work, 3}).ok) << name;
      EXPECT_TRUE(scratch::copies_match(native, 3)) << "HL " << name;
      EXPECT_EQ(console.text(), "");

      EXPECT_TRUE(remove_tree(work)) << name;
      EXPECT_FALSE(scratch::exists(native)) << name;
    }
  }
}

TEST_F(Ext4With4096ByteSectors, CopiesThatLeaveDirectModeAreCountedWithTheirLength) {
  scratch::ConsoleCapture console;
  const CopyMethodRow& ll = copy_method_row(CopyMethod::LL);
  // Test files of 5 KiB are written in one transfer that leaves direct mode;
  // the copies read and write 4 KiB directly, then a 1 KiB tail that cannot.
  EXPECT_EQ(run_trial(trials, ll, mount_point_, 5, 2, 4).cached_length, 1024u);
  EXPECT_EQ(run_trial(trials, ll, mount_point_, 8, 2, 4).cached_length, 0u)
      << "whole sectors all go direct";
  EXPECT_EQ(console.text(), "Preparing... Testing... Done.Preparing... Testing... Done.");
}

TEST_F(Ext4With4096ByteSectors, WholeTrialsRunAndLeaveNothing) {
  scratch::ConsoleCapture console;
  const std::int64_t sizes[] = {1, 5, 2};
  std::string expected;
  for (std::int64_t file_kib : sizes) {
    for (std::int64_t buffer_kib : sizes) {
      run_trial(trials, copy_method_row(CopyMethod::LL), mount_point_, file_kib, 4, buffer_kib);
      expected += "Preparing... Testing... Done.";
    }
    run_trial(trials, copy_method_row(CopyMethod::HL), mount_point_, file_kib, 4);
    expected += "Preparing... Testing... Done.";
  }
  EXPECT_EQ(console.text(), expected);
  EXPECT_TRUE(scratch::work_directories(mount_point_).empty());
}

// Volumes that can share blocks between files: a whole-file copy there could
// be a clone, which moves no data.
struct SharingVolume {
  const char* name;
  const char* mkfs;
};
void PrintTo(const SharingVolume& volume, std::ostream* out) { *out << volume.name; }

class BlockSharingVolume : public MountedVolume,
                           public ::testing::WithParamInterface<SharingVolume> {
 protected:
  void SetUp() override {
    MountedVolume::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string why;
    // 320 MiB: the smallest XFS that mkfs.xfs makes is 300 MiB.
    if (!mount_image(GetParam().mkfs, 320, 512, &why)) SKIP_UNLESS_CI(why);
  }

  // Free bytes of the volume once everything written has reached it.
  std::int64_t free_bytes() {
    const int fd = ::open(mount_point_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
      ::syncfs(fd);
      ::close(fd);
    }
    struct statvfs figures;
    if (::statvfs(mount_point_.c_str(), &figures) != 0) return -1;
    return static_cast<std::int64_t>(figures.f_bfree) * static_cast<std::int64_t>(figures.f_frsize);
  }
};

// The file's extents, with their data on the medium first; false when the
// file system cannot list them.
bool file_extents(const std::string& path, std::vector<fiemap_extent>* extents) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  constexpr unsigned kMaxExtents = 512;
  std::vector<unsigned char> storage(sizeof(fiemap) + kMaxExtents * sizeof(fiemap_extent));
  auto* map = reinterpret_cast<fiemap*>(storage.data());
  map->fm_start = 0;
  map->fm_length = FIEMAP_MAX_OFFSET;
  map->fm_flags = FIEMAP_FLAG_SYNC;
  map->fm_extent_count = kMaxExtents;
  const bool ok = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
  ::close(fd);
  if (!ok) return false;
  extents->assign(map->fm_extents, map->fm_extents + map->fm_mapped_extents);
  return true;
}

TEST_P(BlockSharingVolume, WholeFileCopyMovesEveryByteAndSharesNoBlock) {
  constexpr std::int64_t kFileKib = 16 * 1024;
  const std::string work = mount_point_ + "\\share";
  const std::string native = mount_point_ + "/share";
  ASSERT_TRUE(create_directory(work));
  trials.generator.state = 2026;
  {
    scratch::ConsoleCapture console;
    ASSERT_TRUE(make_test_files(trials.generator, work, kFileKib, 1)) << console.text();
  }
  const std::int64_t free_before = free_bytes();
  ASSERT_TRUE(copy_all_hl({work, 1}).ok);
  const std::int64_t free_after = free_bytes();
  ASSERT_TRUE(scratch::copies_match(native, 1));

  // A clone leaves the free space as it was; a copy takes the file's size
  // (and a little for the file system's own records).
  const std::int64_t taken = free_before - free_after;
  EXPECT_GE(taken, kFileKib * 1024) << GetParam().name;
  EXPECT_LT(taken, kFileKib * 1024 * 5 / 4) << GetParam().name;

  for (const char* name : {"/copy0.dat", "/test0.dat"}) {
    std::vector<fiemap_extent> extents;
    ASSERT_TRUE(file_extents(native + name, &extents)) << GetParam().name << name;
    EXPECT_FALSE(extents.empty()) << name;
    std::uint64_t mapped = 0;
    for (const fiemap_extent& extent : extents) {
      EXPECT_EQ(extent.fe_flags & FIEMAP_EXTENT_SHARED, 0u)
          << GetParam().name << name << ": extent at " << extent.fe_logical << " is shared";
      mapped += extent.fe_length;
    }
    EXPECT_EQ(mapped, static_cast<std::uint64_t>(kFileKib) * 1024) << GetParam().name << name;
  }
  EXPECT_TRUE(remove_tree(work));
}

INSTANTIATE_TEST_SUITE_P(
    , BlockSharingVolume,
    ::testing::Values(SharingVolume{"XfsWithReflink", "mkfs.xfs -q -f -m reflink=1"},
                      SharingVolume{"Btrfs", "mkfs.btrfs -q -f"}),
    [](const ::testing::TestParamInfo<SharingVolume>& info) { return info.param.name; });

class TmpfsWithFewInodes : public MountedVolume {
 protected:
  void SetUp() override {
    MountedVolume::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string why;
    if (!mount("-t tmpfs -o size=8m,nr_inodes=16 tmpfs", &why)) SKIP_UNLESS_CI(why);
  }
};

TEST_F(TmpfsWithFewInodes, FileCreationFailsCleanlyWhenInodesRunOut) {
  const std::string work = mount_point_ + "\\Varnoquelbit1";
  ASSERT_TRUE(create_directory(work));
  const std::uint32_t seed = 4242;
  trials.generator.state = seed;
  bool made = true;
  {
    scratch::ConsoleCapture console;
    made = make_test_files(trials.generator, work, 1, 100);
    EXPECT_EQ(console.text(), " CreateFile Error:INVALID_HANDLE_VALUE\n");
  }
  EXPECT_FALSE(made);
  const std::string native = mount_point_ + "/Varnoquelbit1";
  int count = 0;
  while (scratch::exists(native + "/test" + std::to_string(count) + ".dat")) ++count;
  EXPECT_GT(count, 0);
  EXPECT_LT(count, 16);
  EXPECT_TRUE(scratch::test_files_match(native, count, seed, 1));
  EXPECT_EQ(scratch::work_directories(mount_point_).size(), 1u);
  // The trial on the full volume reports and stops.
  {
    scratch::ConsoleCapture console;
    EXPECT_FALSE(run_trial(trials, copy_method_row(CopyMethod::HL), mount_point_ + "\\sub", 1, 100).copied());
    EXPECT_EQ(console.text(), "Preparing...Init Failed\n");
  }
  EXPECT_TRUE(remove_tree(work));
  // With the inodes back, a whole trial fits.
  scratch::ConsoleCapture console;
  run_trial(trials, copy_method_row(CopyMethod::LL), mount_point_, 1, 5, 1);
  EXPECT_EQ(console.text(), "Preparing... Testing... Done.");
  EXPECT_TRUE(scratch::work_directories(mount_point_).empty());
}

// The mount table's fields of the mount that holds `path`, as findmnt, the
// system's own tool, reads them: type, source and mount point.
std::vector<std::string> findmnt_fields(const std::string& path) {
  std::string output;
  if (!scratch::run("findmnt -n -r --nofsroot -o FSTYPE,SOURCE,TARGET --target " +
                        shell_quoted(path),
                    &output))
    return {};
  std::vector<std::string> fields;
  std::istringstream words(output);
  for (std::string word; words >> word;) fields.push_back(word);
  return fields;
}

// Mount points whose names the mount table must escape: a blank and a tab.
class StackedTmpfs : public MountedVolume {
 protected:
  void SetUp() override {
    MountedVolume::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    mount_point_ = area_ + "/a mount\tpoint";
    ASSERT_EQ(::mkdir(mount_point_.c_str(), 0755), 0);
  }

  VolumeIdentity identity() {
    VolumeIdentity id;
    EXPECT_TRUE(query_volume_identity(mount_point_, id));
    return id;
  }

  VolumeDescription described() {
    VolumeDescription volume;
    EXPECT_TRUE(describe_volume(mount_point_, volume));
    return volume;
  }
};

TEST_F(StackedTmpfs, IdentityAndDescriptionFollowMountsOnTopAndLazyUnmounts) {
  const VolumeIdentity underneath = identity();
  const VolumeDescription before = described();
  EXPECT_EQ(before.identity, underneath);
  EXPECT_EQ(before.is_mount_point, false);

  std::string why;
  if (!mount("-t tmpfs -o size=1m varno_first", &why)) SKIP_UNLESS_CI(why);
  const VolumeIdentity first = identity();
  EXPECT_NE(first, underneath);
  VolumeDescription volume = described();
  EXPECT_EQ(volume.identity, first);
  EXPECT_EQ(volume.file_system, "tmpfs");
  EXPECT_EQ(volume.source, "varno_first");
  EXPECT_EQ(volume.mount_point, real_path_of(mount_point_));
  EXPECT_EQ(volume.is_mount_point, true);
  EXPECT_EQ(volume.cache, VolumeCache::Memory);
  EXPECT_EQ(volume.disk.name, "") << "a tmpfs has no disk";
  EXPECT_FALSE(volume.disk.logical_sector_bytes.has_value());
  ASSERT_TRUE(volume.figures.has_value());
  EXPECT_EQ(volume.figures->total_bytes, 1u << 20);

  ASSERT_TRUE(scratch::run("mount -t tmpfs -o size=2m varno_second " + shell_quoted(mount_point_)));
  const VolumeIdentity second = identity();
  EXPECT_NE(second, first);
  volume = described();
  EXPECT_EQ(volume.identity, second);
  EXPECT_EQ(volume.source, "varno_second") << "the mount on top is the one described";
  EXPECT_EQ(volume.figures->total_bytes, 2u << 20);

  ASSERT_TRUE(scratch::run("umount -l " + shell_quoted(mount_point_)));
  EXPECT_EQ(identity(), first);
  EXPECT_EQ(described().source, "varno_first");

  ASSERT_TRUE(scratch::run("umount -l " + shell_quoted(mount_point_)));
  mounted_ = false;
  EXPECT_EQ(identity(), underneath);
  volume = described();
  EXPECT_EQ(volume.is_mount_point, false);
  EXPECT_EQ(volume.mount_point, before.mount_point);
  EXPECT_EQ(volume.file_system, before.file_system);
}

// A FUSE volume: the passthrough file system of the end-to-end tests, whose
// lying reads are pointed at a file that never exists.
class FuseVolume : public MountedVolume {
 protected:
  void SetUp() override {
    MountedVolume::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (::access("/dev/fuse", F_OK) != 0) SKIP_UNLESS_CI("/dev/fuse is missing");
    // Debian's python3-fuse loads in the system's own interpreter.
    if (!scratch::run("/usr/bin/python3 -c 'import fuse'"))
      SKIP_UNLESS_CI("no python3-fuse for /usr/bin/python3");
    const std::string backing = area_ + "/backing";
    ASSERT_EQ(::mkdir(backing.c_str(), 0755), 0);
    ASSERT_TRUE(scratch::run("/usr/bin/python3 " + shell_quoted(VARNO_LYING_FS) + " " +
                             shell_quoted(backing) + " never.dat 0 " + shell_quoted(mount_point_) +
                             " -f -s </dev/null >/dev/null 2>&1 &"));
    mounted_ = true;  // TearDown unmounts it, which ends the daemon
    const std::string mounted_at = real_path_of(mount_point_);
    for (int waited = 0; findmnt_fields(mount_point_).size() != 3 ||
                         findmnt_fields(mount_point_)[2] != mounted_at;
         ++waited) {
      if (waited == 300) {
        mounted_ = false;
        FAIL() << "the FUSE file system did not mount within 30 s";
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
};

TEST_F(FuseVolume, DescriptionGivesTheMountTablesTypeAndTheUserSpaceCache) {
  const std::vector<std::string> expected = findmnt_fields(mount_point_);
  ASSERT_EQ(expected.size(), 3u);
  VolumeDescription volume;
  ASSERT_TRUE(describe_volume(mount_point_, volume));
  EXPECT_EQ(volume.file_system.compare(0, 4, "fuse"), 0) << volume.file_system;
  EXPECT_EQ(volume.file_system, expected[0]);
  EXPECT_EQ(volume.source, expected[1]);
  EXPECT_EQ(volume.mount_point, real_path_of(mount_point_));
  EXPECT_EQ(volume.is_mount_point, true);
  EXPECT_EQ(volume.cache, VolumeCache::UserSpace);
  EXPECT_EQ(volume.disk.name, "");
  VolumeIdentity id;
  ASSERT_TRUE(query_volume_identity(mount_point_, id));
  EXPECT_EQ(id, volume.identity);
}

class RamfsWithoutDirectIo : public MountedVolume {
 protected:
  void SetUp() override {
    MountedVolume::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string why;
    if (!mount("-t ramfs ramfs", &why)) SKIP_UNLESS_CI(why);
    const std::string probe = mount_point_ + "/probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_DIRECT, 0666);
    const int error = errno;
    if (fd >= 0) ::close(fd);
    ::unlink(probe.c_str());
    if (fd >= 0 || error != EINVAL)
      SKIP_UNLESS_CI("this kernel's ramfs does not refuse O_DIRECT at open");
  }
};

TEST_F(RamfsWithoutDirectIo, FilesOpenWithoutCacheBypassAndTrialsRun) {
  const FileHandle out = open_unbuffered(mount_point_ + "\\plain.dat", FileAccess::ReadWrite,
                                         FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  EXPECT_EQ(::fcntl(static_cast<int>(out), F_GETFL) & O_DIRECT, 0);
  void* buffer = allocate_io_buffer(4096);
  std::memset(buffer, 'q', 4096);
  EXPECT_TRUE(write_file(out, buffer, 4096));
  flush_file(out);
  close_file(out);
  release_io_buffer(buffer);
  EXPECT_EQ(scratch::read_bytes(mount_point_ + "/plain.dat"), std::string(4096, 'q'));

  scratch::ConsoleCapture console;
  run_trial(trials, copy_method_row(CopyMethod::LL), mount_point_, 5, 3, 2);
  run_trial(trials, copy_method_row(CopyMethod::HL), mount_point_, 1025, 2);
  EXPECT_EQ(console.text(), "Preparing... Testing... Done.Preparing... Testing... Done.");
  EXPECT_TRUE(scratch::work_directories(mount_point_).empty());
}

}  // namespace
