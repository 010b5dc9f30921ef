// Process set-up done once before the run starts: standard streams, console
// behaviour and the resource limits a run of many open files needs; and what
// the system's own conventions add to the command line.
#pragma once
#include <string>

void prepare_process();

// True for a request for help in the system's own spelling beyond --help and
// -h: "/?" on Windows; nothing elsewhere.
bool is_native_help_switch(const std::string& argument);
