// Text for a terminal line: names from the configuration, the mount table or
// the file system reach standard error through it, so that a name cannot move
// the cursor, retitle the window, clear the screen or write the clipboard.
#pragma once
#include <cstddef>
#include <string>

// The length of the valid UTF-8 sequence that starts at byte `at` of `text`,
// or 0 when none starts there: no overlong forms, no surrogates, nothing past
// U+10FFFF. An ASCII byte is a sequence of 1.
std::size_t utf8_sequence(const std::string& text, std::size_t at);

// The text with every control character (C0, DEL, and C1 as U+0080 to
// U+009F) and every byte that is no part of valid UTF-8 written as "\xNN":
// the control's code or the byte's value in two upper-case hex digits. Valid
// UTF-8 otherwise, blanks and backslashes included, stays as it is.
std::string escaped(const std::string& text);
