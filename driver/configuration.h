// The configuration file: one test per line, run in file order.
#pragma once
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "testrun/test_run.h"

constexpr const char* kConfigurationFile = "Varnoquelbit.ini";

enum class LineKind { Ignored, Test, Error };

// Classifies one line (without its line end) and, for a test, fills `test`.
// A drive field in double quotes may hold blanks and tabs; the quotes are not
// part of the drive string. Counts beyond 32 bits saturate to the nearest
// limit. When `notes` is given, it receives what the user should hear of the
// line (each without the program's name): a count that was saturated, and
// for a line that is no test but would be one with its drive words in double
// quotes, that they need them.
LineKind parse_configuration_line(const std::string& line, TestLine& test,
                                  std::vector<std::string>* notes = nullptr);

// Reads the next line: up to a line feed (a carriage return just before it is
// dropped), or up to a Ctrl-Z byte, which ends the file. A read error ends the
// input as the end of the file does. False when nothing is left. Never reads
// past the line it returns, so a pipe is read as it is fed.
bool read_configuration_line(std::istream& in, std::string& line, bool& ended);

// Reads the configuration to its end, running each test line through the test
// run before the next line is read and printing "ini error: <line>" for lines
// that are not tests; a line's notes go to standard error. A UTF-8 byte-order
// mark at the very start of the file is skipped. An interrupted run reads no
// further line.
void run_configured_tests(std::istream& in, RunContext& run);
