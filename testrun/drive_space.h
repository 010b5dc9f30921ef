// Free space on the target volume, and what the volume is: queried once per
// drive string and kept in the run's drives for the whole run, with the disk
// line printed and recorded the first time.
#pragma once
#include <cstdint>
#include <string>

#include "testrun/run_context.h"

// The free KiB of the drive string's volume, as its entry in the run's drives
// keeps it, and the drive's volume in the test's record. The first successful
// query makes that entry: it prints the disk line on the console and keeps it
// in the test's record, describes the volume (with the figures the disk line
// printed) and takes its identity for the drive's trials. A failed query
// prints "Could not Get the Drive Information of <drive>", says why on
// standard error and is not kept.
bool drive_free_kib(const std::string& drive, RunContext& run, TestRecord& record,
                    std::int64_t& free_kib);

// True when file_count files of file_kib KiB and their copies fit in free_kib;
// otherwise prints "Error: Free Space is NOT Enough.", says on standard error
// what the test needs on the drive and what is free, and returns false.
bool check_free_space(const std::string& drive, std::int64_t free_kib, std::int64_t file_kib,
                      std::int32_t file_count);
