// Volume identity and description on Linux.
//
// The identity is the directory's st_dev. The description finds the mount
// that holds the directory by its mount ID (the mnt_id the kernel gives for an
// open descriptor in /proc/self/fdinfo), so a mount stacked on another, a bind
// mount or a mount hidden by a later one is told apart exactly; the mount
// table /proc/self/mountinfo then gives its type, source and mount point. The
// disk comes from sysfs: /sys/dev/block/<major>:<minor> of the device number,
// or of the source where that is a block device node (btrfs and FUSE block
// volumes have device numbers of their own that name no block device).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/linux/linux_descriptions_internal.h"
#include "platform/posix/posix_descriptor.h"
#include "platform/posix/posix_failure.h"
#include "platform/posix/posix_paths.h"
#include "platform/volume_description.h"

namespace {

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The directory the drive's work directories are made in, and the same as
// the user would read it in a message (without the closing slashes).
std::string drive_directory(const std::string& drive) { return native_path(drive + "\\"); }
std::string shown(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string real_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return "";
  std::string result = resolved;
  std::free(resolved);
  return result;
}

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }
std::string parent_of(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::optional<std::uint32_t> read_number(const std::string& path) {
  const std::string text = trimmed(read_system_text(path));
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return {};
  const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  if (value > UINT32_MAX) return {};
  return static_cast<std::uint32_t>(value);
}

std::optional<bool> read_flag(const std::string& path) {
  const std::optional<std::uint32_t> value = read_number(path);
  if (!value || *value > 1) return {};
  return *value == 1;
}

std::vector<std::string> entries_of(const std::string& directory) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(listing);
  return names;
}

// The mount ID of an open descriptor; -1 when the kernel does not tell.
long mount_id_of(int fd) {
  std::istringstream info(read_system_text("/proc/self/fdinfo/" + std::to_string(fd)));
  std::string line;
  while (std::getline(info, line))
    if (starts_with(line, "mnt_id:")) return std::strtol(line.c_str() + 7, nullptr, 10);
  return -1;
}

// The mount table escapes blanks, tabs, line ends and backslashes as \ooo.
bool is_octal(char c) { return c >= '0' && c <= '7'; }

std::string unescaped(const std::string& field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && is_octal(field[i + 1]) &&
        is_octal(field[i + 2]) && is_octal(field[i + 3])) {
      text += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      text += field[i];
    }
  }
  return text;
}

struct Mount {
  std::string mount_point;
  std::string type;
  std::string source;
};

// The mount with the ID from /proc/self/mountinfo: "<id> <parent>
// <major:minor> <root> <mount point> <options> [optional fields] - <type>
// <source> <super options>".
bool find_mount(long id, Mount& mount) {
  std::istringstream table(read_system_text("/proc/self/mountinfo"));
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    long line_id = -1;
    std::string parent, device, root, mount_point, field;
    if (!(fields >> line_id >> parent >> device >> root >> mount_point) || line_id != id)
      continue;
    while (fields >> field && field != "-") {
    }
    std::string type, source;
    if (!(fields >> type >> source)) return false;
    mount = Mount{unescaped(mount_point), unescaped(type), unescaped(source)};
    return true;
  }
  return false;
}

// The block device behind the volume: the device number's, or the source's
// where that is a block device node.
std::string sysfs_block_device(dev_t device, const std::string& source) {
  std::string node = real_path("/sys/dev/block/" + std::to_string(major(device)) + ":" +
                               std::to_string(minor(device)));
  struct stat status;
  if (node.empty() && starts_with(source, "/") && ::stat(source.c_str(), &status) == 0 &&
      S_ISBLK(status.st_mode))
    node = real_path("/sys/dev/block/" + std::to_string(major(status.st_rdev)) + ":" +
                     std::to_string(minor(status.st_rdev)));
  return node;
}

void describe_disk(std::string node, DiskDescription& disk) {
  // A partition's whole disk is its parent; a device that stacks on exactly
  // one other is traced to that one. The bound keeps a looping chain finite.
  for (int depth = 0; depth < 16; ++depth) {
    if (exists(node + "/partition")) node = parent_of(node);
    const std::vector<std::string> below = entries_of(node + "/slaves");
    if (below.size() != 1) break;
    const std::string next = real_path(node + "/slaves/" + below[0]);
    if (next.empty()) break;
    node = next;
  }
  disk.name = base_name(node);
  disk.transport = disk_transport(node);
  disk.vendor = trimmed(read_system_text(node + "/device/vendor"));
  disk.model = trimmed(read_system_text(node + "/device/model"));
  // An MMC or SD card names its product here.
  if (disk.model.empty()) disk.model = trimmed(read_system_text(node + "/device/name"));
  disk.backing_file = trimmed(read_system_text(node + "/loop/backing_file"));
  disk.removable = read_flag(node + "/removable");
  disk.rotational = read_flag(node + "/queue/rotational");
  disk.logical_sector_bytes = read_number(node + "/queue/logical_block_size");
  disk.physical_sector_bytes = read_number(node + "/queue/physical_block_size");
}

}  // namespace

std::string read_system_text(const std::string& path) {
  std::string text;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

std::string disk_transport(const std::string& sysfs_device_path) {
  const std::string name = base_name(sysfs_device_path);
  const auto has = [&](const char* part) {
    return sysfs_device_path.find(part) != std::string::npos;
  };
  // The bus nearest the host decides: a card reader or an NVMe enclosure on
  // USB is a USB disk.
  if (has("/usb")) return "usb";
  if (starts_with(name, "nvme") || has("/nvme/")) return "nvme";
  if (starts_with(name, "mmcblk") || has("/mmc_host/")) return "mmc";
  if (has("/virtio")) return "virtio";
  // libata serves SATA and PATA disks alike.
  if (has("/ata")) return "ata";
  if (starts_with(name, "xvd") || has("/vbd-")) return "xen";
  if (has("/virtual/block/")) {
    for (const char* kind : {"loop", "nbd", "md", "zram", "ram"})
      if (starts_with(name, kind)) return kind;
    if (starts_with(name, "dm-")) return "dm";
    return "";
  }
  if (has("/host") && has("/target")) return "scsi";
  return "";
}

VolumeCache volume_cache_of(std::uint64_t statfs_type, const std::string& mount_type) {
  constexpr std::uint64_t kTmpfs = 0x01021994, kRamfs = 0x858458f6, kFuse = 0x65735546,
                          kNfs = 0x6969, kSmb = 0x517b, kCifs = 0xff534d42, kSmb2 = 0xfe534d42;
  if (statfs_type == kTmpfs || statfs_type == kRamfs || mount_type == "tmpfs" ||
      mount_type == "ramfs")
    return VolumeCache::Memory;
  if (statfs_type == kFuse || mount_type == "fuse" || mount_type == "fuseblk" ||
      starts_with(mount_type, "fuse.") || starts_with(mount_type, "fuseblk."))
    return VolumeCache::UserSpace;
  if (statfs_type == kNfs || statfs_type == kSmb || statfs_type == kCifs ||
      statfs_type == kSmb2 || mount_type == "nfs" || mount_type == "nfs4" ||
      mount_type == "cifs" || mount_type == "smb3" || mount_type == "smbfs")
    return VolumeCache::Network;
  return VolumeCache::None;
}

Outcome query_volume_identity(const std::string& drive, VolumeIdentity& identity) {
  const std::string native = drive_directory(drive);
  struct stat status;
  if (::stat(native.c_str(), &status) != 0) return errno_failure("query volume", shown(native));
  identity.value = status.st_dev;
  return success();
}

Outcome describe_volume(const std::string& drive, VolumeDescription& description) {
  description = VolumeDescription();
  const std::string native = drive_directory(drive);
  // One open descriptor for every question, so all answers are about the
  // same directory even if the path changes meanwhile.
  const Descriptor directory(::open(native.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() < 0) return errno_failure("query volume", shown(native));
  struct stat status;
  if (::fstat(directory.get(), &status) != 0) return errno_failure("query volume", shown(native));
  description.identity.value = status.st_dev;
  const std::string resolved = real_path(native);
  description.path = resolved.empty() ? shown(native) : resolved;

  Mount mount;
  if (find_mount(mount_id_of(directory.get()), mount)) {
    description.file_system = mount.type;
    description.source = mount.source;
    description.mount_point = mount.mount_point;
    if (!resolved.empty()) description.is_mount_point = resolved == mount.mount_point;
  }

  struct statfs volume;
  std::uint64_t statfs_type = 0;
  if (::fstatfs(directory.get(), &volume) == 0) {
    statfs_type = static_cast<std::uint64_t>(volume.f_type);
    const std::uint64_t unit = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    VolumeFigures figures;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(volume.f_bavail), unit,
                               &figures.free_bytes))
      figures.free_bytes = UINT64_MAX;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(volume.f_blocks), unit,
                               &figures.total_bytes))
      figures.total_bytes = UINT64_MAX;
    description.figures = figures;
  }
  description.cache = volume_cache_of(statfs_type, description.file_system);

  const std::string node = sysfs_block_device(status.st_dev, description.source);
  if (!node.empty()) describe_disk(node, description.disk);
  return success();
}

// Volume figures from statvfs: fragments of f_frsize bytes, and the free ones
// those available to this user (f_bavail), as the Windows call reports them.
namespace {

std::uint64_t saturated_product(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

}  // namespace

Outcome query_volume(const std::string& drive, VolumeFigures& figures) {
  const std::string native = native_path(drive);
  struct statvfs status;
  if (::statvfs(native.c_str(), &status) != 0) return errno_failure("query volume", native);
  const std::uint64_t unit = status.f_frsize != 0 ? status.f_frsize : status.f_bsize;
  figures.free_bytes = saturated_product(status.f_bavail, unit);
  figures.total_bytes = saturated_product(status.f_blocks, unit);
  return success();
}
