// Free space on the target volume: queried once per drive string and kept for
// the whole run, with the disk line printed and recorded the first time.
#pragma once
#include <cstdint>
#include <map>
#include <ostream>
#include <string>

// Drive string (exact bytes, so C:, c: and C:\ are three keys) to free KiB.
using DriveSpaceCache = std::map<std::string, std::int64_t>;

// The process-wide cache; entries are only ever added.
DriveSpaceCache& drive_space_cache();

// The free KiB of the drive string's volume. The first successful query
// prints the disk line on the console and appends it to the report; a failed
// query prints "Could not Get the Drive Information of <drive>" and is not kept.
bool drive_free_kib(const std::string& drive, std::ostream& report, std::int64_t& free_kib);

// True when file_count files of file_kib KiB and their copies fit in free_kib;
// otherwise prints "Error: Free Space is NOT Enough." and returns false.
bool check_free_space(std::int64_t free_kib, std::int64_t file_kib, std::int32_t file_count);
