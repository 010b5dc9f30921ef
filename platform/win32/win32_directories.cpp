// Directories on a Windows volume, listed with the FindFirstFile family.
#include "platform/directories.h"

#include <windows.h>

#include "platform/win32/win32_directories_internal.h"

namespace {

HANDLE to_handle(DirectorySearch search) { return reinterpret_cast<HANDLE>(search); }

void take_entry(const WIN32_FIND_DATAA& found, DirectoryEntry& entry) {
  entry.name = found.cFileName;
  entry.kind = entry_kind_of(found.dwFileAttributes);
}

}  // namespace

EntryKind entry_kind_of(std::uint32_t attributes) {
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool reparse = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // A junction or directory symbolic link is removed as a link and never
  // entered, so nothing it points to is deleted. A file symbolic link is a
  // file: deleting it removes the link only.
  if (directory && reparse) return EntryKind::DirectoryLink;
  if (directory) return EntryKind::Directory;
  return EntryKind::File;
}

bool create_directory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool remove_directory(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

DirectorySearch find_first_entry(const std::string& pattern, DirectoryEntry& entry) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return kInvalidSearch;
  take_entry(found, entry);
  return reinterpret_cast<DirectorySearch>(search);
}

bool find_next_entry(DirectorySearch search, DirectoryEntry& entry) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(to_handle(search), &found)) return false;
  take_entry(found, entry);
  return true;
}

void find_close(DirectorySearch search) { FindClose(to_handle(search)); }
