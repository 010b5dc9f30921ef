#include "testrun/drive_space.h"

#include "platform/console.h"
#include "platform/volume.h"

DriveSpaceCache& drive_space_cache() {
  static DriveSpaceCache cache;
  return cache;
}

namespace {

void write_disk_line(std::ostream& out, const std::string& drive, double total_gb,
                     double free_gb) {
  out << "Disk " << drive << " Capacity: Total=" << total_gb << "[GB] Free=" << free_gb << "[GB]";
}

std::int64_t clamp_to_int64(std::uint64_t value) {
  return value > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX
                                                       : static_cast<std::int64_t>(value);
}

}  // namespace

bool drive_free_kib(const std::string& drive, std::ostream& report, std::int64_t& free_kib) {
  DriveSpaceCache& cache = drive_space_cache();
  const auto known = cache.find(drive);
  if (known != cache.end()) {
    free_kib = known->second;
    return true;
  }

  VolumeFigures figures;
  const Outcome queried = query_volume(drive, figures);
  if (!queried) {
    console() << "Could not Get the Drive Information of " << drive << std::endl;
    write_failure(diagnostics(), queried);
    return false;
  }
  const std::int64_t free = clamp_to_int64(figures.free_bytes / 1024);
  const std::int64_t total = clamp_to_int64(figures.total_bytes / 1024);
  const double total_gb = static_cast<double>(total) * (1.0 / 1024) * (1.0 / 1024);
  const double free_gb = static_cast<double>(free) * (1.0 / 1024) * (1.0 / 1024);

  write_disk_line(console(), drive, total_gb, free_gb);
  console() << std::endl;
  write_disk_line(report, drive, total_gb, free_gb);
  report << "\r\n";

  cache.emplace(drive, free);
  free_kib = free;
  return true;
}

bool check_free_space(std::int64_t free_kib, std::int64_t file_kib, std::int32_t file_count) {
  std::int64_t needed = 0;
  // A product beyond 64 bits can never fit.
  const bool overflow =
      __builtin_mul_overflow(static_cast<std::int64_t>(file_count), file_kib, &needed) ||
      __builtin_mul_overflow(needed, std::int64_t{2}, &needed);
  if (overflow || needed > free_kib) {
    console() << "Error: Free Space is NOT Enough." << std::endl;
    return false;
  }
  return true;
}
