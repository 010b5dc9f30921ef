// Directory services: creation and removal, and the work directory a trial
// holds open while it runs.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "platform/failure.h"
#include "platform/scoped_resource.h"

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
// whatever it is, and tells why in `failed` when one is given. Inside a held
// drive folder (below) it is made there, never through the drive's path again.
DirectoryToken open_new_directory(const std::string& path, Outcome* failed = nullptr);
// Lets go of the directory; it stays on the volume.
void close_directory(DirectoryToken directory);

// The folder a drive string names (links in the drive string followed, as
// the user named it), held open for the run: on POSIX a descriptor, on
// Windows a handle that lets other programs read and write it but not delete
// or rename it. While it is held, a path directly inside it is made and found
// in it (as for a new directory above), never through the drive's path.
DirectoryToken open_drive_directory(const std::string& drive, Outcome* failed = nullptr);
// Success while the drive string still leads to the held folder (POSIX: the
// same device and inode; Windows: the same volume serial number and file ID).
// Otherwise a failure on the drive whose reason says that the drive's folder
// changed, or that the held folder's volume was unmounted when it was.
Outcome check_drive_directory(DirectoryToken drive_directory, const std::string& drive);
// The reason check_drive_directory gives when the held folder's volume was unmounted.
constexpr const char* kDriveUnmounted = "the volume that held the drive's folder was unmounted";

struct DirectoryTraits {
  using Value = DirectoryToken;
  static DirectoryToken none() { return kNoDirectory; }
  static bool held(DirectoryToken directory) { return directory != kNoDirectory; }
  static void close(DirectoryToken directory) { close_directory(directory); }
};

// A directory held open, let go of when its owner goes out of scope or is
// closed. Moving hands the directory to a new owner.
class DirectoryHandle {
 public:
  DirectoryHandle() = default;  // holds no directory
  explicit DirectoryHandle(DirectoryToken directory) : held_(directory) {}
  // A new directory (open_new_directory).
  explicit DirectoryHandle(const std::string& path, Outcome* failed = nullptr)
      : held_(open_new_directory(path, failed)) {}
  explicit operator bool() const { return static_cast<bool>(held_); }
  DirectoryToken get() const { return held_.get(); }
  DirectoryToken release() { return held_.release(); }
  void close() { held_.reset(); }

 private:
  ScopedResource<DirectoryTraits> held_;
};

// What a directory made with open_new_directory at `path` holds now: its
// plain files and their bytes, counted through what is held (links and
// subdirectories are not counted, nor anything they lead to).
struct DirectoryContents {
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
};
Outcome held_directory_contents(const DirectoryHandle& directory, const std::string& path,
                                DirectoryContents& contents);

// Removes the directory made with open_new_directory at `path` through what
// the process holds, never by a path string: its entries are deleted
// relative to the held directory (with remove_tree's rules: dot names
// skipped, links removed as links, the first failure stops it), then the
// directory itself goes from its held parent, only while its name there
// still refers to the held directory. A name that refers to anything else
// (the directory was renamed away and something put in its place) is left
// as it is: the failure's operation is kLeftInPlace and its reason says what
// was found there and that the held directory was moved. The directory is
// let go of on every path.
Outcome remove_held_directory(DirectoryHandle directory, const std::string& path);
constexpr const char* kLeftInPlace = "left";
