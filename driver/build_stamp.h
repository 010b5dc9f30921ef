// When this program was built, as "Sat Oct 25 17:01:27 2008".
#pragma once
#include <string>

std::string build_stamp();
// The stamp for a compiler date ("Oct 25 2008", day padded with a blank) and
// time ("17:01:27"), with the weekday worked out from the date.
std::string format_build_stamp(const char* date, const char* time);
