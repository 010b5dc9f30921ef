// Directories on a Windows volume. A tree is listed with the FindFirstFile
// family and removed by path names; each directory is opened first, without
// following a reparse point, checked to be still a plain directory, and held
// open without delete sharing while it is emptied, so that it cannot be
// renamed or replaced by a junction until its entries are gone. A work
// directory is held from its creation and deleted through its own handle.
#include "platform/directories.h"

#include <windows.h>

#include <string>

#include "platform/win32/win32_directories_internal.h"
#include "platform/win32/win32_failure.h"
#include "platform/win32/win32_handle.h"

namespace {

// The pattern and entry paths of a removal fit the ANSI calls' 260 bytes.
constexpr std::size_t kMaxTreePathLength = 259;

// Opens the directory at `path` itself, never what a reparse point there
// leads to, and keeps it from being deleted or renamed while the handle is
// open; `access` adds to the attributes' reading. Holds no handle when it is
// anything but a plain directory.
ScopedHandle hold_plain_directory(const std::string& path, DWORD access = 0) {
  ScopedHandle held(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | access,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
  if (!held) return held;
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(held.get(), &information)) {
    held.reset();
  } else if (entry_kind_of(information.dwFileAttributes) != EntryKind::Directory) {
    held.reset();
    SetLastError(ERROR_DIRECTORY);  // the reason told: it is no plain directory
  }
  return held;
}

// The folder a drive's work directories are made in: the drive string and a
// backslash ("C:" is the current folder of drive C, "C:\" its root).
std::string drive_folder(const std::string& drive) {
  return drive.empty() || drive.back() != '\\' ? drive + "\\" : drive;
}

// Opens a drive's folder as the user named it (a junction on the way is
// followed), letting other programs read and write it but not delete or
// rename it while it is held.
HANDLE open_folder(const std::string& folder) {
  return CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Deletes every entry of the held directory whose prefix is given, except
// those whose names begin with a dot; stops at the first that cannot go.
Outcome empty_directory(const std::string& prefix) {
  const std::string pattern = prefix + "*";
  if (pattern.size() > kMaxTreePathLength)
    return last_error_failure("list", pattern, ERROR_FILENAME_EXCED_RANGE);
  WIN32_FIND_DATAA found;
  const ScopedSearch search(FindFirstFileA(pattern.c_str(), &found));
  if (!search) return last_error_failure("list", pattern);
  Outcome outcome;
  do {
    if (found.cFileName[0] == '.') continue;
    const std::string entry = prefix + found.cFileName;
    if (entry.size() > kMaxTreePathLength) {
      outcome = last_error_failure("remove", entry, ERROR_FILENAME_EXCED_RANGE);
      break;
    }
    switch (entry_kind_of(found.dwFileAttributes)) {
      case EntryKind::Directory: outcome = remove_tree(entry); break;
      case EntryKind::DirectoryLink: outcome = remove_directory(entry); break;
      case EntryKind::File:
        if (DeleteFileA(entry.c_str()) == 0) outcome = last_error_failure("delete", entry);
        break;
    }
  } while (outcome && FindNextFileA(search.get(), &found));
  // The listing ends with ERROR_NO_MORE_FILES; any other end is a failure.
  if (outcome && GetLastError() != ERROR_NO_MORE_FILES) outcome = last_error_failure("list", pattern);
  return outcome;
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

Outcome create_directory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0
             ? success()
             : last_error_failure("create directory", path);
}

// A new directory is held as remove_tree holds one: opened itself, never
// through a reparse point, without delete sharing. Win32 opens no file
// relative to a handle, so the file services still reach its files by path;
// holding it (and the drive folder above it) keeps that path naming this
// directory until it is let go of. It is held without delete access of its
// own: a handle with delete access makes every listing of the directory
// (FindFirstFileA, which does not share delete) fail with a sharing violation.
DirectoryToken open_new_directory(const std::string& path, Outcome* failed) {
  if (CreateDirectoryA(path.c_str(), nullptr) == 0) {
    if (failed != nullptr) *failed = last_error_failure("create directory", path);
    return kNoDirectory;
  }
  ScopedHandle held = hold_plain_directory(path);
  if (!held) {
    if (failed != nullptr) *failed = last_error_failure("create directory", path);
    // Made but not held: it goes again while it is still an empty plain
    // directory (RemoveDirectoryA removes a junction as a link, and no
    // directory with entries).
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        entry_kind_of(attributes) == EntryKind::Directory)
      RemoveDirectoryA(path.c_str());
    return kNoDirectory;
  }
  return reinterpret_cast<DirectoryToken>(held.release());
}

DirectoryToken open_drive_directory(const std::string& drive, Outcome* failed) {
  const std::string folder = drive_folder(drive);
  HANDLE held = open_folder(folder);
  if (held == INVALID_HANDLE_VALUE) {
    if (failed != nullptr) *failed = last_error_failure("open", folder);
    return kNoDirectory;
  }
  return reinterpret_cast<DirectoryToken>(held);
}

Outcome check_drive_directory(DirectoryToken drive_directory, const std::string& drive) {
  const std::string folder = drive_folder(drive);
  BY_HANDLE_FILE_INFORMATION held;
  if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(drive_directory), &held))
    return last_error_failure("open", folder);
  const ScopedHandle now(open_folder(folder));
  BY_HANDLE_FILE_INFORMATION found;
  if (!now || !GetFileInformationByHandle(now.get(), &found))
    return last_error_failure("open", folder);
  if (found.dwVolumeSerialNumber == held.dwVolumeSerialNumber &&
      found.nFileIndexHigh == held.nFileIndexHigh && found.nFileIndexLow == held.nFileIndexLow)
    return success();
  return failure("open", folder,
                 "the drive's folder changed: the path leads to another folder than the one "
                 "its disk line measured");
}

void close_directory(DirectoryToken directory) {
  if (directory != kNoDirectory) CloseHandle(reinterpret_cast<HANDLE>(directory));
}

Outcome remove_directory(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != 0 ? success()
                                             : last_error_failure("remove directory", path);
}

Outcome remove_tree(const std::string& path) {
  std::string prefix = path;
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  std::string directory = path;
  while (directory.size() > 1 && directory.back() == '\\') directory.pop_back();
  ScopedHandle held = hold_plain_directory(directory);
  if (!held) return last_error_failure("remove tree", directory);
  const Outcome emptied = empty_directory(prefix);
  // Released before the removal, which needs delete access. Should a
  // junction take the empty directory's place in between, RemoveDirectoryA
  // removes the junction, never what it leads to.
  held.reset();
  if (!emptied) return emptied;
  return remove_directory(path);
}

Outcome held_directory_contents(const DirectoryHandle& directory, const std::string& path,
                                DirectoryContents& contents) {
  contents = {};
  std::string name = path;
  while (name.size() > 1 && name.back() == '\\') name.pop_back();
  if (!directory) return last_error_failure("list", name, ERROR_INVALID_HANDLE);
  // Held without delete sharing, the path still names the held directory.
  const std::string pattern = name + "\\*";
  if (pattern.size() > kMaxTreePathLength)
    return last_error_failure("list", pattern, ERROR_FILENAME_EXCED_RANGE);
  WIN32_FIND_DATAA found;
  const ScopedSearch search(FindFirstFileA(pattern.c_str(), &found));
  if (!search) return last_error_failure("list", pattern);
  do {
    const bool plain_file = (found.dwFileAttributes &
                             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    if (!plain_file) continue;
    ++contents.files;
    contents.bytes += (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  } while (FindNextFileA(search.get(), &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) return last_error_failure("list", pattern);
  return success();
}

Outcome remove_held_directory(DirectoryHandle directory, const std::string& path) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '\\') name.pop_back();
  // Emptied while it is held, so that its path names this directory alone
  // and nothing can be renamed into its place meanwhile; then let go of and
  // removed by name, which removes an empty directory only (or a junction,
  // as a link): whatever is put in its place in between keeps its entries.
  ScopedHandle held(reinterpret_cast<HANDLE>(directory.release()));
  if (!held) return last_error_failure("remove", name, ERROR_INVALID_HANDLE);
  const Outcome emptied = empty_directory(name + "\\");
  held.reset();
  if (!emptied) return emptied;
  return remove_directory(name);
}
