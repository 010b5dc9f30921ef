// Process set-up done once before the run starts: standard streams, console
// behaviour and the resource limits a run of many open files needs; and what
// the system's own conventions add to the command line.
#pragma once
#include <string>

void prepare_process();

// True for a request for help in the system's own spelling beyond --help and
// -h: "/?" on Windows; nothing elsewhere.
bool is_native_help_switch(const std::string& argument);

// A path as a full path of the system, for notes to the user: a logical path
// (platform/files.h) translated, and one relative to the current directory
// made absolute, links left as they are. On POSIX "C:" and "C:\\" name the
// current directory itself. Empty when the current directory cannot be had.
std::string full_system_path(const std::string& path);

// Whether anything is at the path, links followed, found without opening it
// (so a named pipe there is not waited on).
bool path_exists(const std::string& path);
