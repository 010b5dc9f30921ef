// What a volume is: its size and free space, the figures of the disk line;
// an identity, cheap enough to ask before every trial, that tells whether a
// drive string still leads to the volume it led to before; and a description of the volume for the user and for the record of a run:
// its file system, where it is mounted and from what, the disk behind it, and
// whether the system keeps its data in a cache that the benchmark's cache
// bypass cannot reach. A field the platform cannot know is left empty (texts)
// or absent (std::optional); none is guessed.
//
// The identity and the description take a drive string as the configuration
// gives it and describe the directory that the drive's work directories are made in (the drive string
// followed by a backslash, as the layer translates it).
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/failure.h"

// The size and free space of the volume that holds a drive string, in bytes;
// a figure beyond 64 bits is given as the largest one.
struct VolumeFigures {
  std::uint64_t free_bytes = 0;  // available to this user
  std::uint64_t total_bytes = 0;
};

// Queries the volume with the drive string unchanged as its root path.
Outcome query_volume(const std::string& drive, VolumeFigures& figures);

// Linux: the device number (st_dev) of the directory, links followed as the
// user named them. Windows: the serial number of the volume that holds it.
struct VolumeIdentity {
  std::uint64_t value = 0;
};
inline bool operator==(const VolumeIdentity& a, const VolumeIdentity& b) {
  return a.value == b.value;
}
inline bool operator!=(const VolumeIdentity& a, const VolumeIdentity& b) { return !(a == b); }

// Why every transfer on a volume goes through a cache that opening files with
// the cache bypassed does not avoid, so that its figures include that cache.
enum class VolumeCache {
  None,       // no such cache is known
  Memory,     // the files live in memory: tmpfs, ramfs; a Windows RAM disk
  UserSpace,  // a FUSE file system (fuse, fuseblk, fuse.<subtype>): its daemon
              // reads and writes the device through the system's cache
  Network,    // NFS, CIFS and SMB, where client and server cache; a Windows
              // remote drive
};

// The disk behind a volume's block device (Linux, from sysfs). A partition is
// traced to its whole disk, and a device that stacks on exactly one other
// (device-mapper, md) to that one, as far as the chain goes.
struct DiskDescription {
  std::string name;          // the kernel's name: "vda", "sda", "nvme0n1", "loop3"
  std::string vendor;        // as the device reports it, blanks trimmed: "ATA", "0x1af4"
  std::string model;         // "Samsung SSD 870", an SD card's product name
  std::string transport;     // "usb", "nvme", "ata", "mmc", "virtio", "scsi", "xen",
                             // "loop", "nbd", "md", "dm", "zram", "ram"
  std::string backing_file;  // a loop device: the file it serves
  std::optional<bool> removable;
  std::optional<bool> rotational;
  std::optional<std::uint32_t> logical_sector_bytes;
  std::optional<std::uint32_t> physical_sector_bytes;
};

struct VolumeDescription {
  VolumeIdentity identity;
  // The directory described, as a full path: on Linux with links resolved
  // ("C:" is the current directory, "/home/u/bench"), on Windows with a
  // closing backslash ("C:\", "D:\bench\").
  std::string path;
  // Linux: the mount table's type as written ("ext4", "tmpfs", "fuseblk",
  // "fuse.sshfs"); for FUSE the source (and a subtype, where the daemon gave
  // one) names the real driver. Windows: the file system's name ("NTFS").
  std::string file_system;
  // Linux: the mount table's source ("/dev/vda1", "tmpfs", "/dev/sdb1" for an
  // ntfs-3g volume). Windows: empty.
  std::string source;
  // Linux: the mount point of the mount that holds the directory ("/",
  // "/media/u/STICK"). Windows: the volume's root path ("C:\", or the folder
  // a volume is mounted on, with its closing backslash).
  std::string mount_point;
  std::optional<bool> is_mount_point;  // the directory is that mount point itself
  std::string label;                   // Windows: the volume label
  std::string drive_type;  // Windows: "removable", "fixed", "remote", "cdrom", "ramdisk"
  std::optional<VolumeFigures> figures;
  DiskDescription disk;  // Linux only; Windows knows the logical sector size alone
  VolumeCache cache = VolumeCache::None;
};

// Fails when the directory cannot be reached (it does not exist, or is no
// directory), with the system's reason.
Outcome query_volume_identity(const std::string& drive, VolumeIdentity& identity);
// Fails as query_volume_identity does; any other part of the description that
// cannot be had is left empty or absent.
Outcome describe_volume(const std::string& drive, VolumeDescription& description);
