// Directory services: creation and removal.
#pragma once
#include <string>

#include "platform/failure.h"

// Fails when the path exists already, whatever it is.
Outcome create_directory(const std::string& path);
// Removes an empty directory, or a link to a directory without following it.
Outcome remove_directory(const std::string& path);

// Deletes the directory at `path` with everything below it. Entries whose
// names begin with a dot are skipped (so their directory stays), and the
// first entry that cannot be deleted stops the removal. Nothing outside the
// tree is ever touched, whatever is swapped in while the removal runs: links
// are removed as links, never followed, and a directory that has turned into
// a link or a file (the top included) is left alone and stops the removal.
// Succeeds when the directory itself was removed.
Outcome remove_tree(const std::string& path);
