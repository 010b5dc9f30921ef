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
// Where the new file cannot be made for want of permission (a folder this
// user may not write to, holding a file they may), the file is written in
// place instead: opened without following a link and without blocking, and
// truncated only once it shows to be a regular file with one link. Then
// `in_place_because`, when given, gets the failed creation (it stays a
// success otherwise), for the caller to say so.
Outcome replace_file_contents(const std::string& name, const std::string& bytes,
                              Outcome* in_place_because = nullptr);

// Adds `line` and a line feed to the end of the file at `name`, creating it
// when it does not exist, in one write. The file is opened without following
// a link and without blocking, and written only when it is a regular file
// with one link. The size check, the write and any rollback happen under an
// exclusive lock of the file, so that runs appending at the same time never
// lose a line; the lock is waited for up to kAppendLockWaitMs, less once the
// run is interrupted. A write that stores only part of the line fails, and
// the part is taken away again where the system allows.
Outcome append_line_to_file(const std::string& name, const std::string& line);
constexpr unsigned kAppendLockWaitMs = 5000;
