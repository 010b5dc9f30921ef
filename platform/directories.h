// Directory services: creation, removal and enumeration.
#pragma once
#include <cstdint>
#include <string>

// Fails when the path exists already, whatever it is.
bool create_directory(const std::string& path);
// Removes an empty directory, or a link to a directory without following it.
bool remove_directory(const std::string& path);

enum class EntryKind {
  File,           // anything that is deleted with delete_file, symbolic links on POSIX included
  Directory,      // a real directory, to be emptied before it is removed
  DirectoryLink,  // a junction or directory link on Windows: removed as a link, never entered
};

struct DirectoryEntry {
  std::string name;
  EntryKind kind = EntryKind::File;
};

using DirectorySearch = std::intptr_t;
constexpr DirectorySearch kInvalidSearch = -1;

// Starts listing a directory. `pattern` is a directory prefix followed by "*".
// On success the first entry is in `entry`.
DirectorySearch find_first_entry(const std::string& pattern, DirectoryEntry& entry);
// Moves to the next entry; false at the end of the listing.
bool find_next_entry(DirectorySearch search, DirectoryEntry& entry);
void find_close(DirectorySearch search);
