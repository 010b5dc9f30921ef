// Notes for the user on standard error, apart from the console's text: one
// line each, "varnoquelbit: <text>". Every note of the run passes through
// write_note, the one place that decides where and when a note appears.
#pragma once
#include <cstddef>
#include <string>

#include "platform/failure.h"

// "varnoquelbit: <text>", the note's line as written: the text escaped (see
// console/escaped.h), since names in it come from the configuration, the
// mount table and the file system.
std::string note_line(const std::string& text);

// Writes "varnoquelbit: <text>" and a line end, flushed. While the console
// has a line open the note is held, and written right after the console's
// next line end, so that a note never lands in the middle of a console line.
void write_note(const std::string& text);

// Writes a failure as the note "<operation> '<path>': <reason>". A success
// writes nothing.
void write_failure(const Outcome& outcome);

// The notes of the run so far, written or held, in the order they came: how
// many, and the line of one (as note_line gives it), for the run's record.
std::size_t notes_so_far();
std::string note_line_at(std::size_t index);

// Whether notes are held for the console's next line end.
bool notes_held();
// Writes the held notes now, in the order they came; for the console's line end.
void write_held_notes();
// A test's end: where standard output shows on the same terminal, the held
// notes are written now, starting on a new line of their own while the
// console's line is open (standard output's bytes stay as they are);
// elsewhere they keep waiting for the console's next line end.
void release_held_notes_on_a_shared_terminal();
// The run's end: the held notes are written now, on a new line of their own
// on a shared terminal.
void release_held_notes();
