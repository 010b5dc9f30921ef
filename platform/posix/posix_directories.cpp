// Directory services on POSIX.
//
// A tree is removed through directory descriptors, never by path names: the
// top is opened with O_NOFOLLOW relative to its parent, every directory below
// it with openat(O_NOFOLLOW) relative to the directory that lists it, and
// every entry is deleted with unlinkat relative to that same descriptor. A
// directory swapped for a link, at any level and at any moment, is therefore
// never entered: opening it fails and the removal stops there. A directory
// that is a mount point inside the tree (another file system, or a bind
// mount of a directory from elsewhere) is not entered either.
//
// A directory made with open_new_directory is held open by its descriptor,
// and locate() resolves the names directly inside it against that
// descriptor, so the file services' openat calls never go through its path.

#include "platform/directories.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/posix/posix_descriptor.h"
#include "platform/posix/posix_failure.h"
#include "platform/posix/posix_held_directories.h"
#include "platform/posix/posix_paths.h"

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Where an open directory lives: its device and, where the kernel tells it,
// its mount, which also tells a bind mount of the same file system apart.
struct Mount {
  dev_t device = 0;
  std::uint64_t id = 0;
  bool operator==(const Mount& other) const { return device == other.device && id == other.id; }
};

// The mount of the directory open as `fd`; false when `fd` is no directory.
bool directory_mount(int fd, Mount& mount) {
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISDIR(status.st_mode)) return false;
  mount.device = status.st_dev;
#ifdef STATX_MNT_ID
  struct statx extended;
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &extended) == 0 &&
      (extended.stx_mask & STATX_MNT_ID) != 0)
    mount.id = extended.stx_mnt_id;
#endif
  return true;
}

// Opens the directory `name` inside `parent` without following a link, and
// only when it lies on `mount`. Holds no descriptor when it cannot.
Descriptor open_subdirectory(int parent, const char* name, const Mount& mount) {
  int fd;
  do {
    fd = ::openat(parent, name, kDirectoryFlags);
  } while (fd == -1 && errno == EINTR);
  Descriptor directory(fd);
  if (!directory) return directory;
  Mount found;
  if (!directory_mount(directory.get(), found) || !(found == mount)) {
    directory.reset();
    errno = EXDEV;  // the reason told: a directory on another mount is not entered
  }
  return directory;
}

bool empty_directory(Descriptor directory);

// Deletes the entry `name` of the directory open as `parent`.
bool remove_entry(int parent, const char* name, unsigned char type, const Mount& mount) {
  bool directory = type == DT_DIR;
  if (type == DT_UNKNOWN) {
    // The file system does not say: ask without following a link.
    struct stat status;
    if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    directory = S_ISDIR(status.st_mode);
  }
  // Files, links of every kind, pipes and the like: the name goes, nothing
  // it may point to. A directory found in its place makes this fail.
  if (!directory) return ::unlinkat(parent, name, 0) == 0;
  Descriptor child = open_subdirectory(parent, name, mount);
  if (!child || !empty_directory(std::move(child))) return false;
  return ::unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

// Deletes every entry of the listed directory, which lies on `mount`,
// except those whose names begin with a dot; stops at the first that cannot
// be deleted, with errno telling why.
bool empty_listing(DIR* stream, const Mount& mount) {
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(stream);
    if (entry == nullptr) return errno == 0;
    if (entry->d_name[0] == '.') continue;
    if (!remove_entry(::dirfd(stream), entry->d_name, entry->d_type, mount)) return false;
  }
}

// Deletes every entry of the open directory as empty_listing does.
bool empty_directory(Descriptor directory) {
  Mount mount;
  if (!directory_mount(directory.get(), mount)) return false;
  DIR* stream = ::fdopendir(directory.get());
  if (stream == nullptr) return false;
  // The stream owns the descriptor now; closedir closes it.
  directory.release();
  const bool ok = empty_listing(stream, mount);
  const int error = errno;
  ::closedir(stream);
  errno = error;
  return ok;
}

// The directories held open, with the native paths they were made at.
struct HeldDirectory {
  std::string native;
  int fd;
};
std::vector<HeldDirectory> g_held;

// The path without the separators that end it ("/" stays).
std::string without_trailing_slashes(std::string native) {
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  return native;
}

// The native path of the folder a drive's work directories are made in (the
// drive string followed by a separator), as locate() finds it.
std::string drive_native(const std::string& drive) {
  return without_trailing_slashes(native_path(drive + "\\"));
}

// Whether the mount that holds the open directory is still in this process's
// mount table; true when that cannot be told. A lazily unmounted volume stays
// reachable through descriptors held on it, but has left the table. A table
// that does not hold the mount of the process's own root either (a chroot
// whose root is a plain directory) cannot tell.
bool still_mounted(int fd) {
#ifdef STATX_MNT_ID
  struct statx extended;
  struct statx root;
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &extended) != 0 ||
      (extended.stx_mask & STATX_MNT_ID) == 0 ||
      ::statx(AT_FDCWD, "/", 0, STATX_MNT_ID, &root) != 0 ||
      (root.stx_mask & STATX_MNT_ID) == 0)
    return true;
  FILE* table = std::fopen("/proc/self/mountinfo", "re");
  if (table == nullptr) return true;
  bool found = false;
  bool root_found = false;
  unsigned long long id = 0;
  char line[4096];
  while (!found && std::fgets(line, sizeof line, table) != nullptr) {
    if (std::sscanf(line, "%llu", &id) != 1) continue;
    found = id == extended.stx_mnt_id;
    root_found = root_found || id == root.stx_mnt_id;
  }
  std::fclose(table);
  return found || !root_found;
#else
  (void)fd;
  return true;
#endif
}

Outcome unmounted(const std::string& native) {
  return failure("open", native, kDriveUnmounted);
}

// What stands at the name instead of the held directory, for the user.
std::string found_instead(int parent, const std::string& name, const struct stat& own) {
  struct stat there;
  if (::fstatat(parent, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0)
    return "nothing is there now";
  const std::string owner = there.st_uid == own.st_uid
                                ? std::string("of this user")
                                : "of user " + std::to_string(there.st_uid);
  if (S_ISLNK(there.st_mode)) return "a symbolic link " + owner + " is there now";
  if (S_ISDIR(there.st_mode)) return "another directory, " + owner + ", is there now";
  return "another file, " + owner + ", is there now";
}

}  // namespace

AtPath locate(const std::string& native) {
  const std::size_t slash = native.rfind('/');
  if (slash != std::string::npos && slash + 1 < native.size()) {
    const std::string parent = without_trailing_slashes(native.substr(0, slash));
    for (const HeldDirectory& held : g_held)
      if (held.native == parent) return {held.fd, native.substr(slash + 1)};
  }
  return {AT_FDCWD, native};
}

DirectoryToken open_new_directory(const std::string& path, Outcome* failed) {
  const std::string native = without_trailing_slashes(native_path(path));
  const auto refuse = [&](int error) {
    if (failed != nullptr) *failed = errno_failure("create directory", native, error);
    return kNoDirectory;
  };
  // Made inside the held drive folder when the path lies directly in one.
  const AtPath at = locate(native);
  if (::mkdirat(at.directory, at.name.c_str(), 0700) != 0) return refuse(errno);
  // The directory just made, unless someone renamed it away and put a link
  // or a directory of their own in its place in between: a link is not
  // opened, and a directory of another owner is not taken.
  int fd;
  do {
    fd = ::openat(at.directory, at.name.c_str(), kDirectoryFlags);
  } while (fd == -1 && errno == EINTR);
  Descriptor directory(fd);
  // Made but not held (no descriptor left, no memory): the directory counts
  // as one that could not be made and goes again, with one rmdir, never
  // recursively, and only while the name is a directory of this user's (a
  // link, or someone else's directory put there meanwhile, stays).
  const auto unmake = [&](int error) {
    struct stat there;
    if (::fstatat(at.directory, at.name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(there.st_mode) && there.st_uid == ::geteuid())
      ::unlinkat(at.directory, at.name.c_str(), AT_REMOVEDIR);
    return refuse(error);
  };
  if (!directory) return errno == ELOOP || errno == ENOTDIR ? refuse(errno) : unmake(errno);
  struct stat status;
  if (::fstat(directory.get(), &status) != 0) return unmake(errno);
  if (status.st_uid != ::geteuid()) return refuse(EPERM);
  // Only the owner may list, enter or change it, whatever the umask left.
  if ((status.st_mode & 07777) != 0700 && ::fchmod(directory.get(), 0700) != 0)
    return unmake(errno);
  g_held.push_back({native, directory.get()});
  return directory.release();
}

DirectoryToken open_drive_directory(const std::string& drive, Outcome* failed) {
  const std::string native = drive_native(drive);
  int fd;
  do {
    fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd == -1 && errno == EINTR);
  if (fd == -1) {
    if (failed != nullptr) *failed = errno_failure("open", native);
    return kNoDirectory;
  }
  g_held.push_back({native, fd});
  return fd;
}

Outcome check_drive_directory(DirectoryToken drive_directory, const std::string& drive) {
  const std::string native = drive_native(drive);
  struct stat held;
  struct stat now;
  if (::fstat(static_cast<int>(drive_directory), &held) != 0) return errno_failure("open", native);
  if (::stat(native.c_str(), &now) != 0) {
    const int error = errno;
    if (!still_mounted(static_cast<int>(drive_directory))) return unmounted(native);
    return errno_failure("open", native, error);
  }
  if (now.st_dev == held.st_dev && now.st_ino == held.st_ino) return success();
  if (!still_mounted(static_cast<int>(drive_directory))) return unmounted(native);
  return failure("open", native,
                 "the drive's folder changed: the path leads to another folder than the one "
                 "its disk line measured");
}

void close_directory(DirectoryToken directory) {
  const int fd = static_cast<int>(directory);
  for (auto held = g_held.begin(); held != g_held.end(); ++held) {
    if (held->fd != fd) continue;
    g_held.erase(held);
    ::close(fd);
    return;
  }
}

Outcome create_directory(const std::string& path) {
  const std::string native = native_path(path);
  return ::mkdir(native.c_str(), 0777) == 0 ? success()
                                            : errno_failure("create directory", native);
}

Outcome remove_directory(const std::string& path) {
  const std::string native = native_path(path);
  if (::rmdir(native.c_str()) == 0) return success();
  const Outcome refused = errno_failure("remove directory", native);
  if (errno != ENOTDIR) return refused;
  // A symbolic link to a directory is removed as a link.
  struct stat link_status;
  struct stat target_status;
  if (::lstat(native.c_str(), &link_status) != 0 || !S_ISLNK(link_status.st_mode) ||
      ::stat(native.c_str(), &target_status) != 0 || !S_ISDIR(target_status.st_mode))
    return refused;
  return ::unlink(native.c_str()) == 0 ? success() : errno_failure("remove directory", native);
}

Outcome remove_tree(const std::string& path) {
  // The parent is reached by its path, as the drive string names it (it may
  // be a link the user made); the tree's top is the last name in it.
  const std::string native = without_trailing_slashes(native_path(path));
  const std::size_t slash = native.rfind('/');
  const std::string parent_path =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : native.substr(0, slash));
  const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  if (name.empty() || name == "." || name == ".." || name == "/")
    return errno_failure("remove tree", native, EINVAL);

  const Descriptor parent(::open(parent_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!parent) return errno_failure("remove tree", native);
  // The top is the work directory, made on the parent's mount.
  Mount mount;
  Descriptor top;
  if (directory_mount(parent.get(), mount))
    top = open_subdirectory(parent.get(), name.c_str(), mount);
  const bool removed = top && empty_directory(std::move(top)) &&
                       ::unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR) == 0;
  // The errno of the step that stopped the removal, taken before the parent closes.
  return removed ? success() : errno_failure("remove tree", native);
}

Outcome held_directory_contents(const DirectoryHandle& directory, const std::string& path,
                                DirectoryContents& contents) {
  const std::string native = without_trailing_slashes(native_path(path));
  contents = {};
  // A listing of its own (a second descriptor through the held one), so that
  // the held descriptor's position and life stay the caller's.
  Descriptor listed(::openat(static_cast<int>(directory.get()), ".", kDirectoryFlags));
  if (!listed) return errno_failure("list", native);
  DIR* stream = ::fdopendir(listed.get());
  if (stream == nullptr) return errno_failure("list", native);
  listed.release();  // closedir closes it
  Outcome outcome;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(stream);
    if (entry == nullptr) {
      if (errno != 0) outcome = errno_failure("list", native);
      break;
    }
    struct stat status;
    if (::fstatat(::dirfd(stream), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode))
      continue;
    ++contents.files;
    contents.bytes += static_cast<std::uint64_t>(status.st_size);
  }
  ::closedir(stream);
  return outcome;
}

Outcome remove_held_directory(DirectoryHandle directory, const std::string& path) {
  const std::string native = without_trailing_slashes(native_path(path));
  const int fd = static_cast<int>(directory.get());
  auto held = g_held.begin();
  while (held != g_held.end() && held->fd != fd) ++held;
  if (held == g_held.end()) return errno_failure("remove", native, EBADF);
  // From here on the descriptor is this function's: names in it are no
  // longer looked up there, and the listing below closes it.
  g_held.erase(held);
  directory.release();
  Descriptor own_descriptor(fd);
  struct stat own;
  Mount mount;
  if (::fstat(fd, &own) != 0 || !directory_mount(fd, mount))
    return errno_failure("remove", native);
  DIR* stream = ::fdopendir(fd);
  if (stream == nullptr) return errno_failure("remove", native);
  own_descriptor.release();  // closedir closes it
  ::rewinddir(stream);
  const auto stop = [&](Outcome outcome) {
    ::closedir(stream);
    return outcome;
  };
  if (!empty_listing(stream, mount)) return stop(errno_failure("remove", native));
  // The directory itself goes from its parent (the held drive folder, or the
  // path's own folder when none is held) only while the name there still
  // refers to it. Between this check and the rmdir only an empty directory
  // swapped in could go: rmdir refuses one with entries and removes nothing
  // but a directory.
  const AtPath at = locate(native);
  struct stat there;
  if (::fstatat(at.directory, at.name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 ||
      there.st_dev != own.st_dev || there.st_ino != own.st_ino) {
    // A volume unmounted under the trial (lazily: what is held stays
    // reachable) takes the directory with it.
    if (!still_mounted(::dirfd(stream)))
      return stop(failure("remove", native, "the volume left: it was unmounted during the trial"));
    return stop(failure(kLeftInPlace, native,
                        found_instead(at.directory, at.name, own) +
                            ", not the trial's own directory: that was moved away, and stays "
                            "where it was moved, emptied"));
  }
  if (::unlinkat(at.directory, at.name.c_str(), AT_REMOVEDIR) != 0)
    return stop(errno_failure("remove", native));
  return stop(success());
}
