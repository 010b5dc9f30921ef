// What one run of the benchmark carries from test to test, owned by the run
// and passed down to each test: the printer of its console and notes, the report it builds, how it
// writes figures, the free space of every drive seen so far, the state its trials carry, and the
// record of every test.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "console/console_printer.h"
#include "platform/volume_description.h"
#include "testrun/run_record.h"
#include "trials/trial.h"

// Drive string (exact bytes, so C:, c: and C:\ are three keys) to free KiB.
using DriveSpaceCache = std::map<std::string, std::int64_t>;
// Drive string, as for the free space, to its volume's description; empty
// when the volume could not be described.
using DriveDescriptionCache = std::map<std::string, std::optional<VolumeDescription>>;

struct RunContext {
  explicit RunContext(ConsolePrinter& printer) : printer(printer) {}
  // The console's line, the notes and the progress indicator.
  ConsolePrinter& printer;
  // The lines of result.txt, each ended with CR LF.
  std::ostringstream report;
  // Figures (GB, MB/s, seconds) with three decimals, as a configured run
  // writes them; otherwise in the general notation of six significant digits.
  bool fixed_figures = false;
  // Entries are only ever added.
  DriveSpaceCache drives;
  DriveDescriptionCache descriptions;
  TrialState trials;
  // Every test and trial so far, for result.json.
  RunRecord record;
};

// One figure written in the run's notation, for the console and the report alike.
std::string figure(const RunContext& run, double value);
