#include "driver/os_name.h"

#include "platform/system_info.h"

std::string windows_version_name(std::uint32_t major, std::uint32_t minor,
                                 bool (*is_64bit)()) {
  if (major == 4) {
    if (minor == 0) return "Windows 95";
    if (minor == 10) return "Windows 98";
    if (minor == 90) return "Windows ME";
  } else if (major == 5) {
    if (minor == 0) return "Windows 2000";
    if (minor == 1) return "Windows XP (32bit)";
    if (minor == 2) return "Windows XP (64bit)";
  } else if (major == 6 && minor == 0) {
    return is_64bit() ? "Windows Vista (64bit)" : "Windows Vista (32bit)";
  }
  return "Unknown";
}

std::string os_name() {
  OsVersion version;
  if (!query_os_version(version)) return "";
  return windows_version_name(version.major, version.minor, &query_64bit_system);
}
