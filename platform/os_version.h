// The operating system's version numbers.
#pragma once
#include <cstdint>

struct OsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
};

// False when the version cannot be read. Platforms that are not Windows
// report a version that names no Windows release.
bool query_os_version(OsVersion& version);
// True when this 32-bit process runs on a 64-bit system.
bool query_64bit_system();
