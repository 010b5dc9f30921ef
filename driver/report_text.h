// The report: the text result.txt holds and the clipboard receives, written
// from the run's record alone. Its lines end with CR LF: the banner, the OS
// line, then for each test in order the disk line of a drive's first test
// and the test's line, from its header to its average. A test that stops
// after its header leaves its line open, and the next text continues on it.
#pragma once
#include <string>
#include <vector>

#include "testrun/run_record.h"

std::string report_text(const RunRecord& record);

// The tests' part of it, after the OS line.
std::string report_text_of_tests(const std::vector<TestRecord>& tests);
