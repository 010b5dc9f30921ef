// Details of the Windows directory layer that its own tests reach.
#pragma once
#include <cstdint>

enum class EntryKind {
  File,           // deleted with DeleteFileA, file symbolic links included
  Directory,      // a real directory, emptied before it is removed
  DirectoryLink,  // a junction or directory symbolic link: removed as a link, never entered
};

// The kind of an entry from its file attributes: a directory that is also a
// reparse point (a junction or directory symbolic link) is a link, removed as
// such and never entered; any other directory is a directory; everything
// else, file symbolic links included, is a file.
EntryKind entry_kind_of(std::uint32_t attributes);
