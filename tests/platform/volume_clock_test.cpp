// Volume figures and descriptions, clocks, the operating-system version and
// the system's description as this platform reports them.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <thread>

#include "platform/clock.h"
#include "platform/linux/linux_descriptions_internal.h"
#include "platform/system_info.h"
#include "platform/volume_description.h"
#include "tests/platform/scratch.h"

namespace {

using scratch::ScratchTest;

class Volume : public ScratchTest {};

TEST_F(Volume, FiguresAgreeWithStatvfs) {
  for (const std::string& drive : {std::string("C:"), dir_, std::string("/")}) {
    VolumeFigures figures;
    ASSERT_TRUE(query_volume(drive, figures)) << drive;
    struct statvfs status;
    ASSERT_EQ(::statvfs(drive == "C:" ? "." : drive.c_str(), &status), 0);
    const std::uint64_t unit = status.f_frsize;
    EXPECT_EQ(figures.total_bytes, status.f_blocks * unit) << drive;
    // Free space moves while other programs work: allow a little drift.
    const double drift = static_cast<double>(figures.free_bytes) -
                         static_cast<double>(status.f_bavail * unit);
    EXPECT_LE(drift < 0 ? -drift : drift, 0.01 * static_cast<double>(status.f_blocks * unit))
        << drive;
    EXPECT_LE(figures.free_bytes, figures.total_bytes) << drive;
  }
}

TEST_F(Volume, MissingPathFails) {
  VolumeFigures figures;
  EXPECT_FALSE(query_volume("C:\\no_such_directory", figures));
  EXPECT_FALSE(query_volume(dir_ + "\\no\\such", figures));
}

// What a shell command prints, its closing line end removed.
std::string output_of(const std::string& command) {
  std::string output;
  EXPECT_TRUE(scratch::run(command, &output)) << command << ": " << output;
  if (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

TEST_F(Volume, DirectoryThatIsNoMountPointIsDescribedByTheMountThatHoldsIt) {
  // findmnt, the system's own reading of the mount table, names that mount;
  // in a chroot whose root directory is no mount, there is none to name.
  const bool listed = scratch::mount_table_holds(dir_);
  const std::string expected =
      listed ? output_of("findmnt -n -r --nofsroot -o FSTYPE,SOURCE,TARGET --target " + dir_)
             : "  ";
  struct stat status;
  ASSERT_EQ(::stat(dir_.c_str(), &status), 0);
  for (const std::string& drive : {std::string("C:"), dir_, dir_ + "\\"}) {
    VolumeDescription volume;
    ASSERT_TRUE(describe_volume(drive, volume)) << drive;
    EXPECT_EQ(volume.file_system + " " + volume.source + " " + volume.mount_point, expected)
        << drive;
    EXPECT_EQ(volume.is_mount_point, listed ? std::optional<bool>(false) : std::nullopt) << drive;
    char* real = ::realpath(dir_.c_str(), nullptr);
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(volume.path, real) << drive;
    std::free(real);
    EXPECT_EQ(volume.identity.value, static_cast<std::uint64_t>(status.st_dev)) << drive;
    VolumeIdentity identity;
    ASSERT_TRUE(query_volume_identity(drive, identity)) << drive;
    EXPECT_EQ(identity, volume.identity) << drive;
  }
  VolumeDescription root;
  ASSERT_TRUE(describe_volume("/", root));
  if (!scratch::mount_table_holds("/")) {  // a chroot's root: no mount to name
    EXPECT_EQ(root.mount_point, "");
    EXPECT_EQ(root.is_mount_point, std::nullopt);
    EXPECT_EQ(root.file_system, "");
    return;
  }
  EXPECT_EQ(output_of("findmnt -n -o TARGET --target /"), "/");
  EXPECT_EQ(root.mount_point, "/");
  EXPECT_EQ(root.is_mount_point, true);
  EXPECT_EQ(root.file_system, output_of("findmnt -n -o FSTYPE --target /"));
}

TEST_F(Volume, DescriptionsOfAMissingDirectoryFailWithTheReason) {
  for (const std::string& drive : {std::string("C:\\no_such_directory"), dir_ + "\\no\\such"}) {
    VolumeDescription volume;
    const Outcome described = describe_volume(drive, volume);
    EXPECT_FALSE(described) << drive;
    EXPECT_EQ(described.operation, "query volume");
    EXPECT_EQ(described.reason, "No such file or directory");
    VolumeIdentity identity;
    const Outcome identified = query_volume_identity(drive, identity);
    EXPECT_FALSE(identified) << drive;
    EXPECT_EQ(identified.path, described.path);
  }
  scratch::write_bytes(dir_ + "/file", "not a directory");
  VolumeIdentity identity;
  EXPECT_FALSE(query_volume_identity(dir_ + "\\file", identity));
}

TEST(DiskTransport, TheSysfsDevicePathTellsTheBus) {
  const struct {
    const char* path;
    const char* transport;
  } cases[] = {
      {"/sys/devices/pci0000:00/0000:00:02.0/virtio1/block/vda", "virtio"},
      {"/sys/devices/pci0000:00/0000:00:04.0/virtio1/host0/target0:0:0/0:0:0:0/block/sda",
       "virtio"},
      {"/sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda", "ata"},
      {"/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb",
       "usb"},
      {"/sys/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1", "nvme"},
      {"/sys/devices/pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host7/target7:0:0/7:0:0:0/block/sdc",
       "usb"},
      {"/sys/devices/platform/fe320000.mmc/mmc_host/mmc1/mmc1:aaaa/block/mmcblk1", "mmc"},
      {"/sys/devices/pci0000:00/0000:00:10.0/host2/target2:0:0/2:0:0:0/block/sdd", "scsi"},
      {"/sys/devices/vbd-51712/block/xvda", "xen"},
      {"/sys/devices/virtual/block/loop3", "loop"},
      {"/sys/devices/virtual/block/dm-0", "dm"},
      {"/sys/devices/virtual/block/md127", "md"},
      {"/sys/devices/virtual/block/nbd0", "nbd"},
      {"/sys/devices/virtual/block/zram0", "zram"},
      {"/sys/devices/virtual/block/ram0", "ram"},
      {"/sys/devices/virtual/block/unknown0", ""},
      {"/sys/devices/platform/some-controller/block/xyz", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(disk_transport(c.path), c.transport) << c.path;
}

TEST(VolumeCacheKinds, StatfsTypeOrMountTableTypeTellsTheCache) {
  const struct {
    std::uint64_t statfs_type;
    const char* mount_type;
    VolumeCache cache;
  } cases[] = {
      {0xef53, "ext4", VolumeCache::None},
      {0x01021994, "tmpfs", VolumeCache::Memory},
      {0x858458f6, "ramfs", VolumeCache::Memory},
      {0x65735546, "fuseblk", VolumeCache::UserSpace},
      {0x65735546, "fuse.sshfs", VolumeCache::UserSpace},
      {0, "fuseblk.ntfs-3g", VolumeCache::UserSpace},
      {0x6969, "nfs4", VolumeCache::Network},
      {0, "nfs", VolumeCache::Network},
      {0xff534d42, "cifs", VolumeCache::Network},
      {0xfe534d42, "smb3", VolumeCache::Network},
      {0, "smb3", VolumeCache::Network},
      {0x9123683e, "btrfs", VolumeCache::None},
      {0x4d44, "vfat", VolumeCache::None},
  };
  for (const auto& c : cases)
    EXPECT_EQ(volume_cache_of(c.statfs_type, c.mount_type), c.cache) << c.mount_type;
}

TEST(SystemDescription, AgreesWithTheSystemsOwnTools) {
  const SystemDescription system = describe_system();
  EXPECT_EQ(system.kernel_name, output_of("uname -s"));
  EXPECT_EQ(system.kernel_release, output_of("uname -r"));
  EXPECT_EQ(system.kernel_version, output_of("uname -v"));
  EXPECT_EQ(system.machine, output_of("uname -m"));
  // The shell reads os-release as what it is, a shell fragment.
  EXPECT_EQ(system.distribution,
            output_of("if [ -e /etc/os-release ]; then . /etc/os-release; "
                      "else . /usr/lib/os-release; fi; printf %s \"$PRETTY_NAME\""));
  EXPECT_EQ(system.cpu_model,
            output_of("sed -n 's/^model name[[:space:]]*: *//p' /proc/cpuinfo | head -n 1"));
  ASSERT_TRUE(system.logical_cpus.has_value());
  EXPECT_EQ(std::to_string(*system.logical_cpus), output_of("getconf _NPROCESSORS_ONLN"));
  ASSERT_TRUE(system.memory_bytes.has_value());
  EXPECT_EQ(std::to_string(*system.memory_bytes / 1024),
            output_of("sed -n 's/^MemTotal: *\\([0-9]*\\) kB$/\\1/p' /proc/meminfo"));
  EXPECT_FALSE(system.windows_version.has_value());
  EXPECT_FALSE(system.windows_64bit.has_value());
}

TEST(OsRelease, ValuesAreReadAsTheShellReadsThem) {
  const std::string text =
      "NAME=Plain\n"
      "  # PRETTY_NAME=\"a comment\"\n"
      "PRETTY_NAME_EXTRA=\"not this\"\n"
      "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
      "ID='single \\ \"quoted\"'\n"
      "VERSION=\"escaped \\\"quote\\\" \\$dollar \\\\ back \\n\"\n"
      "EMPTY=\n";
  EXPECT_EQ(os_release_value(text, "PRETTY_NAME"), "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(os_release_value(text, "NAME"), "Plain");
  EXPECT_EQ(os_release_value(text, "ID"), "single \\ \"quoted\"");
  EXPECT_EQ(os_release_value(text, "VERSION"), "escaped \"quote\" $dollar \\ back \\n");
  EXPECT_EQ(os_release_value(text, "EMPTY"), "");
  EXPECT_EQ(os_release_value(text, "MISSING"), "");
}

TEST(Clocks, MillisecondClockAdvancesWithASleep) {
  const std::uint32_t before = milliseconds_now();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::uint32_t after = milliseconds_now();
  const std::uint32_t elapsed = after - before;  // modulo 2^32, like the trials
  EXPECT_GE(elapsed, 40u);
  EXPECT_LE(elapsed, 1000u);
}

TEST(Clocks, MillisecondClockIsTheMonotonicClockModulo32Bits) {
  struct timespec now;
  ASSERT_EQ(::clock_gettime(CLOCK_MONOTONIC, &now), 0);
  const auto expected = static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                                   static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
  const std::uint32_t reading = milliseconds_now();
  EXPECT_LE(static_cast<std::uint32_t>(reading - expected), 100u);
}

TEST(Clocks, CalendarClockIsUnixTime) {
  const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
  const std::int64_t reading = calendar_seconds_now();
  const std::int64_t after = static_cast<std::int64_t>(std::time(nullptr));
  EXPECT_GE(reading, before);
  EXPECT_LE(reading, after);
}

TEST(OsVersion, NamesNoWindowsRelease) {
  OsVersion version{5, 1};
  ASSERT_TRUE(query_os_version(version));
  EXPECT_EQ(version.major, 0u);
  EXPECT_EQ(version.minor, 0u);
  EXPECT_FALSE(query_64bit_system());
}

}  // namespace
