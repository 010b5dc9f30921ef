// Free space on the target volume, and what the volume is: queried once per
// drive string and kept for the whole run, with the disk line printed and
// recorded the first time.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "testrun/run_context.h"

// The free KiB of the drive string's volume, kept in the run's drive cache.
// The first successful query
// prints the disk line on the console and appends it to the report, and keeps
// the volume's identity for the drive's trials (run.trials.volumes); a failed
// query prints "Could not Get the Drive Information of <drive>" and is not kept.
bool drive_free_kib(const std::string& drive, RunContext& run, std::int64_t& free_kib);

// The description of the drive string's volume, asked at the drive's first
// test and kept in the run's drive cache; empty when it could not be had.
const std::optional<VolumeDescription>& drive_volume(const std::string& drive, RunContext& run);

// True when file_count files of file_kib KiB and their copies fit in free_kib;
// otherwise prints "Error: Free Space is NOT Enough." and returns false.
bool check_free_space(std::int64_t free_kib, std::int64_t file_kib, std::int32_t file_count);
