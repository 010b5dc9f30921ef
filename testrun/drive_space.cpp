#include "testrun/drive_space.h"

#include "console/console_printer.h"
#include "console/texts.h"
#include "platform/console.h"
#include "platform/volume.h"
#include "platform/volume_description.h"
#include "testrun/volume_notes.h"

namespace {

void write_disk_line(std::ostream& out, const std::string& drive, const std::string& total_gb,
                     const std::string& free_gb) {
  out << text::kDisk << drive << text::kDiskTotal << total_gb << text::kDiskFree << free_gb
      << text::kDiskEnd;
}

std::int64_t clamp_to_int64(std::uint64_t value) {
  return value > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX
                                                       : static_cast<std::int64_t>(value);
}

}  // namespace

bool drive_free_kib(const std::string& drive, RunContext& run, std::int64_t& free_kib) {
  DriveSpaceCache& cache = run.drives;
  const auto known = cache.find(drive);
  if (known != cache.end()) {
    free_kib = known->second;
    return true;
  }

  VolumeFigures figures;
  const Outcome queried = query_volume(drive, figures);
  if (!queried) {
    console() << text::kNoDriveInformation << drive << std::endl;
    write_failure(run.printer, queried);
    return false;
  }
  const std::int64_t free = clamp_to_int64(figures.free_bytes / 1024);
  const std::int64_t total = clamp_to_int64(figures.total_bytes / 1024);
  const double kib_to_gb = (1.0 / 1024) * (1.0 / 1024);
  const std::string total_gb = figure(run, static_cast<double>(total) * kib_to_gb);
  const std::string free_gb = figure(run, static_cast<double>(free) * kib_to_gb);

  write_disk_line(console(), drive, total_gb, free_gb);
  console() << std::endl;
  write_disk_line(run.report, drive, total_gb, free_gb);
  run.report << text::kReportLineEnd;

  cache.emplace(drive, free);
  // What the drive string stands for, told the first time it is queried.
  if (const std::optional<VolumeDescription>& volume = drive_volume(drive, run)) {
    const std::string named = volume_name_note(drive, *volume);
    if (!named.empty() && diagnostics_on_terminal()) write_note(run.printer, named);
    const std::string unmounted = mount_point_note(drive, *volume);
    if (!unmounted.empty()) write_note(run.printer, unmounted);
  }
  // The volume measured here is the one this drive's trials must run on.
  // Without its identity they run unchecked, as before.
  VolumeIdentity identity;
  if (query_volume_identity(drive, identity)) run.trials.volumes[drive] = identity;
  free_kib = free;
  return true;
}

const std::optional<VolumeDescription>& drive_volume(const std::string& drive, RunContext& run) {
  const auto known = run.descriptions.find(drive);
  if (known != run.descriptions.end()) return known->second;
  VolumeDescription volume;
  std::optional<VolumeDescription> described;
  if (describe_volume(drive, volume)) described = volume;
  return run.descriptions.emplace(drive, described).first->second;
}

bool check_free_space(std::int64_t free_kib, std::int64_t file_kib, std::int32_t file_count) {
  std::int64_t needed = 0;
  // A product beyond 64 bits can never fit.
  const bool overflow =
      __builtin_mul_overflow(static_cast<std::int64_t>(file_count), file_kib, &needed) ||
      __builtin_mul_overflow(needed, std::int64_t{2}, &needed);
  if (overflow || needed > free_kib) {
    console() << text::kNotEnoughSpace << std::endl;
    return false;
  }
  return true;
}
