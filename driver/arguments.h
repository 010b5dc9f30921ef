// The command line. The benchmark takes no arguments and ignores any it is
// given (a file dragged onto the Windows program still runs it), except a
// sole request for help or for the version, which touches nothing.
#pragma once
#include <string>
#include <vector>

enum class Request { Run, Help, Version };

// What the arguments after the program's name ask for.
Request request_of_arguments(const std::vector<std::string>& arguments);

// The usage text printed for a request for help.
std::string help_text();

// The program's version, "0.1.0".
const char* program_version();

// "varnoquelbit <version>" and a line end.
std::string version_text();
