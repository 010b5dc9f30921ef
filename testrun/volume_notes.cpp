#include "testrun/volume_notes.h"

#include <iomanip>
#include <sstream>

namespace {

std::string three_decimals(double value) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(3) << value;
  return text.str();
}

}  // namespace

std::string volume_cache_note(const std::string& drive, const VolumeDescription& volume) {
  // The mount table's type as written ("fuseblk", "fuse.sshfs", "nfs4",
  // "cifs"); FUSE block volumes say "fuseblk" whatever their driver.
  std::string what;
  switch (volume.cache) {
    case VolumeCache::UserSpace:
      what = (volume.file_system.empty() ? std::string("FUSE") : volume.file_system) +
             " volume served in user space: its driver caches data";
      break;
    case VolumeCache::Network:
      what = (volume.file_system.empty() ? std::string() : volume.file_system + " ") +
             "volume on the network: its client and server cache data";
      break;
    case VolumeCache::None:
    case VolumeCache::Memory:
      return "";
  }
  return "'" + drive + "' is a " + what +
         ", so this test's figures include that cache; the read-back cannot get past it either";
}

std::string volume_name_note(const std::string& drive, const VolumeDescription& volume) {
  // Linux names the mount's source; Windows has none, and names the label.
  const std::string named = "'" + drive + "' is " + volume.path;
  const std::string type = volume.file_system.empty() ? "" : " (" + volume.file_system + ")";
  if (!volume.source.empty())
    return named + " on " + volume.source + " (" +
           (volume.file_system.empty() ? "" : volume.file_system + ", ") + "mounted at " +
           volume.mount_point + ")";
  if (!volume.label.empty()) return named + " on the volume '" + volume.label + "'" + type;
  // No mount holds the directory as far as this process can see: the root of
  // a chroot or of a container is often a plain directory of a volume whose
  // mount lies outside it. A Windows volume always has its root path.
  if (volume.mount_point.empty())
    return named + " on a volume not in the mount table" + type;
  return named + " on a volume without a label" + type;
}

std::string mount_point_note(const std::string& drive, const VolumeDescription& volume) {
  bool under = false;
  for (const std::string parent : {"/media", "/run/media", "/mnt"})
    under = under || (volume.path.compare(0, parent.size(), parent) == 0 &&
                      (volume.path.size() == parent.size() || volume.path[parent.size()] == '/'));
  if (!under || volume.is_mount_point != false || volume.mount_point != "/") return "";
  return "'" + drive + "' is not a mount point: measuring the volume mounted at '/'";
}

std::string write_out_note(const char* keyword, const std::string& drive,
                           const WriteOutTotals& totals) {
  if (totals.good_trials < 1 || totals.write_out_seconds <= totals.copy_seconds / 2) return "";
  const double per_trial = totals.write_out_seconds / totals.good_trials;
  // A few milliseconds of write-out are the clock's noise on a trial that
  // short, not a medium that lags behind its cache.
  if (per_trial < kNoticeableWriteOutSeconds) return "";
  const double speed = totals.megabytes / (totals.copy_seconds + totals.write_out_seconds);
  return std::string(keyword) + "'s copies reached '" + drive + "' " + three_decimals(per_trial) +
         " s after the clock stopped; counting that, they copied at " + three_decimals(speed) +
         " MB/s";
}
