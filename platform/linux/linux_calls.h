// The system calls of the Linux file layer whose failures it handles, called
// through this table so that tests can put their own in place of one (as
// SQLite's test harness does) and make it fail with EINTR, EINVAL, ENOSPC,
// EIO or move fewer bytes, without root and without a volume that really
// does so. The program never changes it.
#pragma once
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/types.h>

struct LinuxCalls {
  // openat: `path` looked up from the directory `directory` (or AT_FDCWD).
  int (*openat)(int directory, const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, size_t length);
  ssize_t (*write)(int fd, const void* buffer, size_t length);
  int (*fsync)(int fd);
  int (*close)(int fd);
  int (*fstat)(int fd, struct stat* status);
  // fcntl with one integer argument (0 where the command takes none).
  int (*fcntl)(int fd, int command, int argument);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*sync_file_range)(int fd, off64_t offset, off64_t length, unsigned int flags);
  int (*posix_fadvise)(int fd, off_t offset, off_t length, int advice);
  int (*fstatfs)(int fd, struct statfs* volume);
  int (*unlinkat)(int directory, const char* path, int flags);
};

// The table in use; it starts out with the system's own calls.
LinuxCalls& linux_calls();
// The system's own calls.
const LinuxCalls& system_linux_calls();
