// Volume size and free space on Windows.
#include "platform/volume.h"

#include <windows.h>

#include "platform/win32/win32_failure.h"

namespace {

std::uint64_t bytes_of(DWORD clusters, std::uint64_t cluster_bytes) {
  if (cluster_bytes != 0 && clusters > UINT64_MAX / cluster_bytes) return UINT64_MAX;
  return clusters * cluster_bytes;
}

}  // namespace

Outcome query_volume(const std::string& drive, VolumeFigures& figures) {
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, total_clusters = 0;
  // The drive string is the root path exactly as the user wrote it.
  if (!GetDiskFreeSpaceA(drive.c_str(), &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                         &total_clusters))
    return last_error_failure("query volume", drive);
  // Cluster bytes fit 64 bits; cluster counts fit 32: the products fit 96.
  const std::uint64_t cluster_bytes =
      static_cast<std::uint64_t>(sectors_per_cluster) * bytes_per_sector;
  figures.free_bytes = bytes_of(free_clusters, cluster_bytes);
  figures.total_bytes = bytes_of(total_clusters, cluster_bytes);
  return success();
}
