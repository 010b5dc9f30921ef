// The size and free space of the volume that holds a drive string.
#pragma once
#include <cstdint>
#include <string>

#include "platform/failure.h"

// In bytes; a figure beyond 64 bits is given as the largest one.
struct VolumeFigures {
  std::uint64_t free_bytes = 0;  // available to this user
  std::uint64_t total_bytes = 0;
};

// Queries the volume with the drive string unchanged as its root path.
Outcome query_volume(const std::string& drive, VolumeFigures& figures);
