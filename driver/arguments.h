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

// For a run given arguments other than a sole request: the note, written
// before the banner, that they were ignored and where the tests come from
// instead: "ignored argument '/media/me/stick': the tests come from
// '/home/me/Varnoquelbit.ini', ..." or "... from the built-in test on
// '/home/me'; ...". Names are escaped. Empty without arguments.
std::string ignored_arguments_note(const std::vector<std::string>& arguments);

// The program's version, "0.1.0".
const char* program_version();

// "varnoquelbit <version>" and a line end.
std::string version_text();
