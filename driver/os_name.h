// The display name of the operating system, printed after "OS: ".
#pragma once
#include <cstdint>
#include <string>

// The name for a Windows version. Only 6.0 depends on whether the system is
// 64-bit, so `is_64bit` is consulted for 6.0 alone.
std::string windows_version_name(std::uint32_t major, std::uint32_t minor,
                                 bool (*is_64bit)());

// The name of the system this runs on, or "" when its version cannot be read.
std::string os_name();
