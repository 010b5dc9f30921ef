// What one run of the benchmark carries from test to test, owned by the run
// and passed down to each test: how it writes figures, the state its trials
// carry (the drives seen so far among it), and the record of every test, from
// which the driver writes every report at the run's end.
#pragma once
#include <string>

#include "testrun/run_record.h"
#include "trials/trial.h"

struct RunContext {
  // Figures (GB, MB/s, seconds) with three decimals, as a configured run
  // writes them; otherwise in the general notation of six significant digits.
  bool fixed_figures = false;
  TrialState trials;
  // Every test and trial so far.
  RunRecord record;
};

// One figure written in the run's notation, for the console and the record alike.
std::string figure(const RunContext& run, double value);
