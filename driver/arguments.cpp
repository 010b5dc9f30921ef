#include "driver/arguments.h"

#include "console/escaped.h"
#include "driver/configuration.h"
#include "platform/process.h"

// The build passes the project's version; a build without it still compiles.
#ifndef VARNO_VERSION
#define VARNO_VERSION "unknown"
#endif

Request request_of_arguments(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) return Request::Run;
  const std::string& only = arguments[0];
  if (only == "--help" || only == "-h" || is_native_help_switch(only)) return Request::Help;
  if (only == "--version" || only == "-V") return Request::Version;
  return Request::Run;
}

std::string help_text() {
  return "Usage: varnoquelbit [--help | --version]\n"
         "\n"
         "Measures how fast a storage volume copies files. Started without\n"
         "arguments, it runs the tests listed in Varnoquelbit.ini in the current\n"
         "directory (without that file, one built-in test of the current\n"
         "directory), prints each test's speed in MB/s, and writes the results to\n"
         "result.txt in the current directory. Each trial writes its files into a\n"
         "work directory of its own on the target and removes it again.\n"
         "\n"
         "  -h, --help     print this text and exit (on Windows also /?)\n"
         "  -V, --version  print the version and exit\n"
         "\n"
         "Any other arguments are ignored.\n"
         "An annotated example configuration: examples/Varnoquelbit.ini in the\n"
         "source, share/doc/varnoquelbit/examples/Varnoquelbit.ini where installed.\n"
         "The manual: man varnoquelbit (docs/varnoquelbit.1 in the source).\n";
}

std::string ignored_arguments_note(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return "";
  std::string note = arguments.size() == 1 ? "ignored argument" : "ignored arguments";
  for (const std::string& argument : arguments) note += " '" + escaped(argument) + "'";
  // The built-in test's work directories go where its drive string "C:"
  // leads: the current directory on POSIX, the root of C: on Windows.
  if (path_exists(kConfigurationFile))
    return note + ": the tests come from '" +
           escaped(full_system_path(kConfigurationFile)) +
           "', where each test names the folder it measures (see --help)";
  return note + ": the tests come from the built-in test on '" +
         escaped(full_system_path("C:\\")) + "'; a folder to measure is named in " +
         kConfigurationFile + " (see --help)";
}

const char* program_version() { return VARNO_VERSION; }

std::string version_text() { return std::string("varnoquelbit ") + program_version() + "\n"; }
