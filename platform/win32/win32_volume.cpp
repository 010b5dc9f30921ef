// Volume size and free space on Windows.
#include "platform/volume.h"

#include <windows.h>

#include "platform/win32/win32_failure.h"

Outcome query_volume(const std::string& drive, VolumeFigures& figures) {
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, total_clusters = 0;
  // The drive string is the root path exactly as the user wrote it.
  if (!GetDiskFreeSpaceA(drive.c_str(), &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                         &total_clusters))
    return last_error_failure("query volume", drive);
  figures.sectors_per_cluster = sectors_per_cluster;
  figures.bytes_per_sector = bytes_per_sector;
  figures.free_clusters = free_clusters;
  figures.total_clusters = total_clusters;
  return success();
}
