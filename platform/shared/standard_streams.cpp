// The console's streams, alike on every native layer: standard output through
// the buffer that keeps its first write error, standard error as the C++
// library gives it. Compiled into each layer, beside the layer's own
// write_standard_output.
#include <iostream>

#include "platform/console.h"
#include "platform/standard_output_buffer.h"

void install_standard_output_buffer() { install_standard_output_buffer(&write_standard_output); }

std::ostream& console() { return std::cout; }

Outcome finish_console() { return standard_output_outcome(); }

std::ostream& diagnostics() { return std::cerr; }
