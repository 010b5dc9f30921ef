// The whole run: banner and OS line, the tests, result.txt, the closing
// prompt and the clipboard copy.
#pragma once
#include <string>

constexpr const char* kReportFile = "result.txt";

// Runs the benchmark in the current directory. Returns 0, or the exit status
// of an interrupted run (see platform/interruption.h).
int run_benchmark();

// Replaces the report file with exactly these bytes. Failures are silent.
void write_report_file(const std::string& text);
