// The run's report files in the current directory: result.txt, replaced as a
// whole, and files that grow by one line a run. Names are as the system
// spells them (no drive string, no translation).
#pragma once
#include <string>

#include "platform/failure.h"

// Makes the file at `name` hold exactly `bytes`. The bytes go to a new file
// beside it (created exclusively, never through a link), which is then renamed
// over `name`: a link of that name is replaced, never written through, and an
// earlier file stays whole until the new one is complete. On failure the new
// file is removed again and `name` is left as it was.
Outcome replace_file_contents(const std::string& name, const std::string& bytes);

// Adds `line` and a line feed to the end of the file at `name`, creating it
// when it does not exist, in one write. A link of that name is not followed.
// A write that stores only part of the line fails, and the part is taken away
// again where the system allows.
Outcome append_line_to_file(const std::string& name, const std::string& line);
