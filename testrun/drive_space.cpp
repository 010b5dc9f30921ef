#include "testrun/drive_space.h"

#include <cstdio>

#include "console/console_printer.h"
#include "console/texts.h"
#include "platform/console.h"
#include "platform/volume_description.h"
#include "testrun/shared_lines.h"
#include "testrun/volume_notes.h"

namespace {

std::int64_t clamp_to_int64(std::uint64_t value) {
  return value > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX
                                                       : static_cast<std::int64_t>(value);
}

std::int64_t free_kib_of(const Drive& drive) {
  return clamp_to_int64(drive.figures.free_bytes / 1024);
}

// "12.5 MiB"-style amounts for the free-space note, in the unit that keeps
// the figure readable.
std::string kib_amount(double kib) {
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB", "ZiB"};
  std::size_t unit = 0;
  while (kib >= 1024 && unit + 1 < sizeof units / sizeof *units) {
    kib /= 1024;
    ++unit;
  }
  char text[64];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", kib, units[unit]);
  return text;
}

// The drive's entry at its first test: queried, printed, described.
const Drive* first_query(const std::string& drive, RunContext& run, TestRecord& record) {
  Drive entry;
  const Outcome queried = query_volume(drive, entry.figures);
  if (!queried) {
    console() << text::kNoDriveInformation << drive << std::endl;
    write_failure(run.printer, queried);
    return nullptr;
  }
  const double kib_to_gb = (1.0 / 1024) * (1.0 / 1024);
  DiskLineRecord line;
  line.total_gb_text =
      figure(run, static_cast<double>(clamp_to_int64(entry.figures.total_bytes / 1024)) * kib_to_gb);
  line.free_gb_text = figure(run, static_cast<double>(free_kib_of(entry)) * kib_to_gb);
  console() << disk_line_text(drive, line) << std::endl;
  record.disk_line = line;

  VolumeDescription volume;
  if (describe_volume(drive, volume)) {
    // The record's figures are those the disk line printed, not a second
    // query's a moment later.
    volume.figures = entry.figures;
    entry.description = volume;
    // What the drive string stands for, told the first time it is queried.
    const std::string named = volume_name_note(drive, volume);
    if (!named.empty() && diagnostics_on_terminal()) write_note(run.printer, named);
    const std::string unmounted = mount_point_note(drive, volume);
    if (!unmounted.empty()) write_note(run.printer, unmounted);
  }
  // The volume measured here is the one this drive's trials must run on.
  // Without its identity they run unchecked, as before.
  VolumeIdentity identity;
  if (query_volume_identity(drive, identity)) entry.identity = identity;
  // So is the folder its path leads to now: held to the run's end.
  entry.folder = DirectoryHandle(open_drive_directory(drive));
  return &run.trials.drives.emplace(drive, std::move(entry)).first->second;
}

}  // namespace

bool drive_free_kib(const std::string& drive, RunContext& run, TestRecord& record,
                    std::int64_t& free_kib) {
  const auto known = run.trials.drives.find(drive);
  const Drive* entry =
      known != run.trials.drives.end() ? &known->second : first_query(drive, run, record);
  if (entry == nullptr) return false;
  record.volume = entry->description;
  free_kib = free_kib_of(*entry);
  return true;
}

bool check_free_space(ConsolePrinter& printer, const std::string& drive, std::int64_t free_kib,
                      std::int64_t file_kib, std::int32_t file_count) {
  std::int64_t needed = 0;
  // A product beyond 64 bits can never fit.
  const bool overflow =
      __builtin_mul_overflow(static_cast<std::int64_t>(file_count), file_kib, &needed) ||
      __builtin_mul_overflow(needed, std::int64_t{2}, &needed);
  if (!overflow && needed <= free_kib) return true;
  console() << text::kNotEnoughSpace << std::endl;
  // The need in exact arithmetic, so that an overflowing one still reads right.
  const double need = 2.0 * file_count * static_cast<double>(file_kib);
  const char* files = file_count == 1 ? " file of " : " files of ";
  write_note(printer, "not enough free space on '" + drive + "': the test needs " +
                          kib_amount(need) + " (" + std::to_string(file_count) + files +
                          kib_amount(file_kib) + " and their copies), and " + kib_amount(free_kib) +
                          " is free");
  return false;
}
