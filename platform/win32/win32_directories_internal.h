// Details of the Windows directory layer that its own tests reach.
#pragma once
#include <cstdint>

#include "platform/directories.h"

// The kind of a listed entry from its file attributes: a directory that is
// also a reparse point (a junction or directory symbolic link) is a link,
// removed as such and never entered; any other directory is a directory;
// everything else, file symbolic links included, is a file.
EntryKind entry_kind_of(std::uint32_t attributes);
