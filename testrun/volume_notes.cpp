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

std::string write_out_note(const char* keyword, const std::string& drive,
                           const WriteOutTotals& totals) {
  if (totals.good_trials < 1 || totals.write_out_seconds <= totals.copy_seconds / 2) return "";
  const double per_trial = totals.write_out_seconds / totals.good_trials;
  const double speed = totals.megabytes / (totals.copy_seconds + totals.write_out_seconds);
  return std::string(keyword) + "'s copies reached '" + drive + "' " + three_decimals(per_trial) +
         " s after the clock stopped; counting that, they copied at " + three_decimals(speed) +
         " MB/s";
}
