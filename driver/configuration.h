// The configuration file: one test per line, run in file order.
#pragma once
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "testrun/measurement.h"

constexpr const char* kConfigurationFile = "Varnoquelbit.ini";

enum class LineKind { Ignored, Test, Error };

// Classifies one line (without its line end) and, for a test, fills `test`.
// A drive field in double quotes may hold blanks and tabs; the quotes are not
// part of the drive string.
LineKind parse_configuration_line(const std::string& line, TestLine& test);

// Reads the next line: up to a line feed (a carriage return just before it is
// dropped), or up to a Ctrl-Z byte, which ends the file. A read error ends the
// input as the end of the file does. False when nothing is left. Never reads
// past the line it returns, so a pipe is read as it is fed.
bool read_configuration_line(std::istream& in, std::string& line, bool& ended);

// Reads the configuration to its end, running each test line through the test
// run before the next line is read and printing "ini error: <line>" for lines
// that are not tests. An interrupted run reads no further line.
void run_configured_tests(std::istream& in, RunContext& run);
