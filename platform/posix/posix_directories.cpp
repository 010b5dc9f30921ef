// Directory services on POSIX. A listing reports "." and ".." like any other
// entry; a symbolic link is always reported as a file, so that removing a
// tree deletes the link itself and never descends through it.

#include "platform/directories.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_paths.h"

namespace {

// What a DirectorySearch points to.
struct OpenListing {
  DIR* stream = nullptr;
};

OpenListing* listing(DirectorySearch search) { return reinterpret_cast<OpenListing*>(search); }

// Reads the next entry of the listing; false at the end or on an error.
bool read_entry(OpenListing& open, DirectoryEntry& entry) {
  errno = 0;
  const dirent* next = ::readdir(open.stream);
  if (next == nullptr) return false;
  entry.name = next->d_name;
  bool directory = next->d_type == DT_DIR;
  if (next->d_type == DT_UNKNOWN) {
    // The file system does not say: ask without following a link.
    struct stat status;
    directory = ::fstatat(::dirfd(open.stream), next->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISDIR(status.st_mode);
  }
  entry.kind = directory ? EntryKind::Directory : EntryKind::File;
  return true;
}

}  // namespace

bool create_directory(const std::string& path) {
  return ::mkdir(native_path(path).c_str(), 0777) == 0;
}

bool remove_directory(const std::string& path) {
  const std::string native = native_path(path);
  if (::rmdir(native.c_str()) == 0) return true;
  if (errno != ENOTDIR) return false;
  // A symbolic link to a directory is removed as a link.
  struct stat link_status;
  struct stat target_status;
  if (::lstat(native.c_str(), &link_status) != 0 || !S_ISLNK(link_status.st_mode) ||
      ::stat(native.c_str(), &target_status) != 0 || !S_ISDIR(target_status.st_mode))
    return false;
  return ::unlink(native.c_str()) == 0;
}

DirectorySearch find_first_entry(const std::string& pattern, DirectoryEntry& entry) {
  // The pattern is a directory prefix followed by "*": list that directory.
  if (pattern.empty() || pattern.back() != '*') return kInvalidSearch;
  std::string directory = native_path(pattern.substr(0, pattern.size() - 1));
  if (directory.empty()) directory = ".";

  DIR* stream = ::opendir(directory.c_str());
  if (stream == nullptr) return kInvalidSearch;
  auto* open = new OpenListing{stream};
  if (!read_entry(*open, entry)) {
    ::closedir(stream);
    delete open;
    return kInvalidSearch;
  }
  return reinterpret_cast<DirectorySearch>(open);
}

bool find_next_entry(DirectorySearch search, DirectoryEntry& entry) {
  if (search == kInvalidSearch || search == 0) return false;
  return read_entry(*listing(search), entry);
}

void find_close(DirectorySearch search) {
  if (search == kInvalidSearch || search == 0) return;
  OpenListing* open = listing(search);
  ::closedir(open->stream);
  delete open;
}
