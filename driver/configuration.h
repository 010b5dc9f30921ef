// The configuration file: one test per line, run in file order.
#pragma once
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

constexpr const char* kConfigurationFile = "Varnoquelbit.ini";

// The parameters of one test as a configuration line gives them.
struct TestSpec {
  bool method_hl = true;  // HL: the system's whole-file copy; LL: one unbuffered buffer
  std::string drive;
  std::string file_size;
  std::string buffer_size;  // empty for HL
  std::int32_t file_count = 0;
  std::int32_t trial_count = 0;
};

enum class LineKind { Ignored, Test, Error };

// Classifies one line (without its line end) and, for a test, fills `test`.
// A drive field in double quotes may hold blanks and tabs; the quotes are not
// part of the drive string.
LineKind parse_configuration_line(const std::string& line, TestSpec& test);

// Reads the next line: up to a line feed (a carriage return just before it is
// dropped), or up to a Ctrl-Z byte, which ends the file. A read error ends the
// input as the end of the file does. False when nothing is left. Never reads
// past the line it returns, so a pipe is read as it is fed.
bool read_configuration_line(std::istream& in, std::string& line, bool& ended);

// Reads the configuration to its end, running each test line through the test
// run before the next line is read and printing "ini error: <line>" for lines
// that are not tests. An interrupted run reads no further line.
void run_configured_tests(std::istream& in, std::ostream& report);
