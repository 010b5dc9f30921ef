#include "trials/notes.h"

#include <ostream>

#include "platform/console.h"

std::string note_line(const std::string& text) { return "varnoquelbit: " + text; }

void write_note(const std::string& text) { diagnostics() << note_line(text) << std::endl; }

void write_failure(const Outcome& outcome) {
  if (outcome) return;
  write_note(outcome.operation + " '" + outcome.path + "': " + outcome.reason);
}
