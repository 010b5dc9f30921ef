// Notes for the user on standard error, apart from the console's text: one
// line each, "varnoquelbit: <text>". Every note of the run passes through
// write_note, the one place that decides where and when a note appears.
#pragma once
#include <string>

#include "platform/failure.h"

// "varnoquelbit: <text>", the note's line as written.
std::string note_line(const std::string& text);

// Writes "varnoquelbit: <text>" and a line end, flushed.
void write_note(const std::string& text);

// Writes a failure as the note "<operation> '<path>': <reason>". A success
// writes nothing.
void write_failure(const Outcome& outcome);
