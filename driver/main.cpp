#include "driver/run_sequence.h"
#include "platform/process.h"

int main() {
  prepare_process();
  return run_benchmark();
}
