#include "driver/build_stamp.h"

#include <cstdlib>
#include <cstring>

std::string format_build_stamp(const char* date, const char* time) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  static const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const std::string d(date);  // "Mmm dd yyyy"
  if (d.size() != 11) return d + " " + time;
  const char* found = std::strstr(kMonths, d.substr(0, 3).c_str());
  const int month = found ? static_cast<int>(found - kMonths) / 3 + 1 : 1;
  const int day = std::atoi(d.substr(4, 2).c_str());
  int year = std::atoi(d.substr(7, 4).c_str());
  // Sakamoto's day-of-week method.
  static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  const int weekday =
      (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
  // Day stays as the compiler pads it, like the C library's asctime.
  return std::string(kWeekdays[weekday]) + " " + d.substr(0, 6) + " " + time + " " +
         d.substr(7, 4);
}

std::string build_stamp() {
  // The compiler takes these from SOURCE_DATE_EPOCH when it is set.
  return format_build_stamp(__DATE__, __TIME__);
}
