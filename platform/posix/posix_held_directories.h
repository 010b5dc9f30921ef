// Paths resolved against the directories this process holds open
// (open_new_directory), for the *at system calls of the POSIX layers.
#pragma once
#include <string>

// Where a system call finds a file: a directory descriptor (AT_FDCWD for the
// current directory) and the name or path looked up from it.
struct AtPath {
  int directory;
  std::string name;
};

// The file at the native path `native`: its name inside the held directory
// when the path's directory is one, else the path itself from the current
// directory.
AtPath locate(const std::string& native);
