#include "testrun/shared_lines.h"

#include <iomanip>
#include <sstream>

#include "trials/texts.h"

std::string disk_line_text(const std::string& drive, const DiskLineRecord& line) {
  return text::kDisk + drive + text::kDiskTotal + line.total_gb_text + text::kDiskFree +
         line.free_gb_text + text::kDiskEnd;
}

std::string average_text(const AverageRecord& average) {
  std::ostringstream out;
  out << text::kAverage << std::setw(7) << average.mb_per_s_text << text::kSpeedUnit
      << std::setw(7) << average.seconds_text << text::kSecondsUnit;
  return out.str();
}
