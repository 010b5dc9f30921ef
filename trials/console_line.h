// The console's open line: how much of a line standard output has been given
// since its last line end. Every console text passes one filter that keeps
// this count, takes the progress indicator off the terminal before the text
// goes out, and lets notes held back while a line was open follow the line's
// end.
#pragma once
#include <cstddef>

// Puts the filter in front of the console, once per run before its first
// text; calling it again starts the count afresh and adds no second filter.
void follow_console_lines();

// Bytes written to the console since its last line end; 0 when no line is
// open (or the console is not followed).
std::size_t console_line_column();
