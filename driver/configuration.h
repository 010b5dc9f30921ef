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
// line (each without the program's name): for a test, each count that was
// saturated; for an error line, one reason: which field could not be read and
// what it should hold, a line that fits the other method's layout, a drive
// with blanks that needs double quotes, a leading blank, a byte-order mark.
LineKind parse_configuration_line(const std::string& line, TestLine& test,
                                  std::vector<std::string>* notes = nullptr);

// Reads the next line: up to a line feed (a carriage return just before it is
// dropped), or up to a Ctrl-Z byte, which ends the file. A read error ends the
// input as the end of the file does. False when nothing is left. Never reads
// past the line it returns, so a pipe is read as it is fed.
bool read_configuration_line(std::istream& in, std::string& line, bool& ended);

// Reads the configuration to its end, running each test line through the test
// run before the next line is read and printing "ini error: <line>" for lines
// that are not tests; a line's notes go to standard error, an error line's
// reason as refused_line_note. A line that begins with a UTF-8 byte-order mark
// is an error line like any other, the first one included. An interrupted run
// reads no further line.
void run_configured_tests(std::istream& in, RunContext& run);

// "line <number> of 'Varnoquelbit.ini': <reason>", the note of an error line;
// lines count from 1, empty lines and comments included.
std::string refused_line_note(long number, const std::string& reason);
