#include "testrun/run_context.h"

#include <iomanip>
#include <sstream>

std::string figure(const RunContext& run, double value) {
  std::ostringstream text;
  if (run.fixed_figures) text << std::fixed << std::setprecision(3);
  text << value;
  return text.str();
}
