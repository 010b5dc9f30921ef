// The whole run: banner and OS line, the tests, result.txt with result.json
// and results.jsonl, the closing prompt and the clipboard copy.
#pragma once
#include <string>
#include <vector>

#include "console/console_printer.h"

constexpr const char* kReportFile = "result.txt";

// The program: answers a request for help or the version, or runs the
// benchmark; then checks that standard output took every line. Returns the
// exit status: that of the run, or 1 when standard output failed for another
// reason than a reader that went away.
int run_program(const std::vector<std::string>& arguments);

// Runs the benchmark in the current directory. Returns 0, or the exit status
// of an interrupted run (see platform/interruption.h).
int run_benchmark(ConsolePrinter& printer);

// Replaces the report file with exactly these bytes; a failure is told on
// standard error, and the run goes on.
void write_report_file(ConsolePrinter& printer, const std::string& text);
