// Directory services: creation and removal, and the work directory a trial
// holds open while it runs.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

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
// Succeeds when the directory itself was removed. A directory still held
// open (below) may not be removable until it is closed.
Outcome remove_tree(const std::string& path);

// A directory made for the process alone and held open. On POSIX it is
// created with mode 0700 whatever the umask, and while it is held every file
// service given a path directly inside it (the directory's path, a separator,
// a name) works on the held directory itself: the name is looked up in it,
// never through the directory's path again, so a directory renamed away and
// replaced by a link meanwhile is not followed. On Windows it inherits its
// parent's access rights like any new directory, and is held without delete
// sharing, so it cannot be renamed or replaced while it is held.
using DirectoryToken = std::intptr_t;
constexpr DirectoryToken kNoDirectory = -1;

// Creates and opens the directory; fails when the path exists already,
// whatever it is, and tells why in `failed` when one is given.
DirectoryToken open_new_directory(const std::string& path, Outcome* failed = nullptr);
// Lets go of the directory; it stays on the volume.
void close_directory(DirectoryToken directory);

// A directory opened with open_new_directory, let go of when its owner goes
// out of scope or is closed. Moving hands the directory to a new owner.
class DirectoryHandle {
 public:
  DirectoryHandle() = default;  // holds no directory
  explicit DirectoryHandle(const std::string& path, Outcome* failed = nullptr)
      : directory_(open_new_directory(path, failed)) {}
  DirectoryHandle(DirectoryHandle&& other) noexcept
      : directory_(std::exchange(other.directory_, kNoDirectory)) {}
  DirectoryHandle& operator=(DirectoryHandle&& other) noexcept {
    if (this != &other) {
      close();
      directory_ = std::exchange(other.directory_, kNoDirectory);
    }
    return *this;
  }
  ~DirectoryHandle() { close(); }
  explicit operator bool() const { return directory_ != kNoDirectory; }
  void close() {
    if (directory_ != kNoDirectory) close_directory(std::exchange(directory_, kNoDirectory));
  }

 private:
  DirectoryToken directory_ = kNoDirectory;
};
