// Names and words from the user's files and command line, made safe for a
// note on standard error: a terminal shows them as text, never acts on them.
#pragma once
#include <string>

// Control characters (below 0x20), DEL, the C1 controls (U+0080 to U+009F,
// each of their two bytes) and every byte that is not part of valid UTF-8
// become "\xNN" (upper-case hex); all else stays as it is.
std::string escaped_name(const std::string& name);
