// A POSIX system is no Windows release: version 0.0, which the benchmark
// names "Unknown".

#include "platform/os_version.h"

bool query_os_version(OsVersion& version) {
  version.major = 0;
  version.minor = 0;
  return true;
}

bool query_64bit_system() { return false; }
