// Notes on standard error about what a test's figures hold besides the copy
// on the medium: a cache that the volume's driver keeps below the program,
// and copies that reached the medium only after the clock stopped. The
// console and the report stay as they are; these are the texts of the notes,
// without the program's name that write_note puts before them.
#pragma once
#include <cstdint>
#include <string>

#include "platform/volume_description.h"

// For a volume whose every transfer goes through a cache that the cache
// bypass does not avoid: a FUSE file system, whose daemon reads and writes
// its device through the system's cache, or a network file system. The copies'
// read-back meets the same cache. Empty for any other volume; one that keeps
// its files in memory (tmpfs) is told by the transfers that went through
// the page cache.
std::string volume_cache_note(const std::string& drive, const VolumeDescription& volume);

// What the drive string stands for, for the user at a terminal: on Linux
// "'C:' is /home/u/bench on /dev/vda1 (ext4, mounted at /)", on Windows the
// volume's label and file system; where no mount entry holds the directory
// (a chroot's root), that it has none. Parts not known are left out.
std::string volume_name_note(const std::string& drive, const VolumeDescription& volume);

// For a directory under /media, /run/media or /mnt (or one of them) that is
// no mount point and lies on the root file system, as a removable disk that
// is not mounted leaves it: the root file system is measured in its place.
// Empty otherwise.
std::string mount_point_note(const std::string& drive, const VolumeDescription& volume);

// What a test's good trials copied and how long their copies took, after the
// clock, to be written out of the system's cache to the medium.
struct WriteOutTotals {
  std::int32_t good_trials = 0;
  double megabytes = 0.0;          // copied by all good trials together
  double copy_seconds = 0.0;       // their timed sections, summed
  double write_out_seconds = 0.0;  // their write-outs, summed
};

// The shortest write-out per trial worth a note.
constexpr double kNoticeableWriteOutSeconds = 0.1;

// When the write-out took more than half the timed copy, and at least
// kNoticeableWriteOutSeconds per trial, how long it took per trial and the
// speed the copies reached counting it; otherwise empty.
// `keyword` names the copy method.
std::string write_out_note(const char* keyword, const std::string& drive,
                           const WriteOutTotals& totals);
