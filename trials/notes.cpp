#include "trials/notes.h"

#include <ostream>

#include "platform/console.h"

void write_note(const std::string& text) {
  diagnostics() << "varnoquelbit: " << text << std::endl;
}

void write_failure(const Outcome& outcome) {
  if (outcome) return;
  write_note(outcome.operation + " '" + outcome.path + "': " + outcome.reason);
}
