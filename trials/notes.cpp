#include "trials/notes.h"

#include <ostream>
#include <vector>

#include "console/escaped.h"
#include "platform/console.h"
#include "platform/terminal.h"
#include "trials/console_line.h"
#include "trials/progress.h"

namespace {

std::vector<std::string>& held_notes() {
  static std::vector<std::string> notes;
  return notes;
}

std::vector<std::string>& every_note() {
  static std::vector<std::string> notes;
  return notes;
}

void write_line(const std::string& text) { diagnostics() << note_line(text) << std::endl; }

}  // namespace

std::string note_line(const std::string& text) { return "varnoquelbit: " + escaped(text); }

void write_note(const std::string& text) {
  every_note().push_back(text);
  erase_progress();
  if (console_line_column() > 0) {
    held_notes().push_back(text);
    return;
  }
  write_line(text);
}

void write_failure(const Outcome& outcome) {
  if (outcome) return;
  write_note(outcome.operation + " '" + outcome.path + "': " + outcome.reason);
}

std::size_t notes_so_far() { return every_note().size(); }

std::string note_line_at(std::size_t index) { return note_line(every_note().at(index)); }

bool notes_held() { return !held_notes().empty(); }

void write_held_notes() {
  std::vector<std::string> notes;
  notes.swap(held_notes());
  erase_progress();
  for (const std::string& note : notes) write_line(note);
}

void release_held_notes() {
  if (!notes_held()) return;
  erase_progress();
  console().flush();
  if (console_line_column() > 0 && progress_terminal().shared_with_console)
    diagnostics() << '\n';
  write_held_notes();
}

void release_held_notes_on_a_shared_terminal() {
  if (notes_held() && progress_terminal().shared_with_console) release_held_notes();
}
