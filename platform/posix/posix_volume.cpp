// Volume figures on POSIX from statvfs: one cluster is one fragment of the
// file system (f_frsize bytes), and free clusters are those available to
// this user (f_bavail), as the Windows call reports them.

#include "platform/volume.h"

#include <sys/statvfs.h>

#include <cstdint>

#include "platform/posix/posix_failure.h"
#include "platform/posix/posix_paths.h"

Outcome query_volume(const std::string& drive, VolumeFigures& figures) {
  const std::string native = native_path(drive);
  struct statvfs status;
  if (::statvfs(native.c_str(), &status) != 0) return errno_failure("query volume", native);

  std::uint64_t unit = status.f_frsize != 0 ? status.f_frsize : status.f_bsize;
  if (unit == 0) return failure("query volume", native, "no block size reported");
  std::uint64_t sectors = 1;
  // A fragment beyond 32 bits is given as several sectors of a power-of-two share of it.
  while (unit > UINT32_MAX && unit % 2 == 0 && sectors <= UINT32_MAX / 2) {
    unit /= 2;
    sectors *= 2;
  }
  if (unit > UINT32_MAX)  // no exact split exists
    return failure("query volume", native, "block size beyond 32 bits");

  figures.bytes_per_sector = static_cast<std::uint32_t>(unit);
  figures.sectors_per_cluster = static_cast<std::uint32_t>(sectors);
  figures.free_clusters = status.f_bavail;
  figures.total_clusters = status.f_blocks;
  return success();
}
