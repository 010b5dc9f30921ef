// The system calls of the Linux file layer, called through this table so
// that tests can put their own in place of one (as SQLite's test harness
// does) and make it fail with EINTR, EINVAL, ENOSPC, EIO or move fewer bytes,
// without root and without a volume that really does so. The program never
// changes it.
#pragma once
#include <sys/types.h>

struct LinuxCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, size_t length);
  ssize_t (*write)(int fd, const void* buffer, size_t length);
  ssize_t (*sendfile)(int to, int from, off_t* offset, size_t length);
  int (*fsync)(int fd);
};

// The table in use; it starts out with the system's own calls.
LinuxCalls& linux_calls();
// The system's own calls.
const LinuxCalls& system_linux_calls();
