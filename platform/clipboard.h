// Offers a text for pasting elsewhere.
#pragma once
#include <string>

// What became of the text: taken, and by what means (`how`: the tool, or
// what was sent to the terminal); or not, and why (`reason`).
struct ClipboardCopy {
  bool copied = false;
  std::string how;
  std::string reason;
};

ClipboardCopy copy_to_clipboard(const std::string& text);
