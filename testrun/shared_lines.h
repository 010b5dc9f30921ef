// The texts the console and the report both show, built once for both: the
// disk line and a test's average, without their line ends.
#pragma once
#include <string>

#include "testrun/run_record.h"

// "Disk C: Capacity: Total=74.530[GB] Free=20.125[GB]"
std::string disk_line_text(const std::string& drive, const DiskLineRecord& line);

// "Average:  1.242[MB/s] (  3.146[sec])": both figures padded to 7 columns.
std::string average_text(const AverageRecord& average);
