// The size and free space of the volume that holds a drive string.
#pragma once
#include <cstdint>
#include <string>

#include "platform/failure.h"

struct VolumeFigures {
  std::uint32_t sectors_per_cluster = 0;
  std::uint32_t bytes_per_sector = 0;
  std::uint64_t free_clusters = 0;   // available to this user
  std::uint64_t total_clusters = 0;
};

// Queries the volume with the drive string unchanged as its root path.
Outcome query_volume(const std::string& drive, VolumeFigures& figures);
