#include <string>
#include <vector>

#include "driver/run_sequence.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  prepare_process();
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return run_program(arguments);
}
