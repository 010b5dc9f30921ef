// The system's description on Linux: uname, os-release, /proc/cpuinfo and
// sysconf.

#include <sys/utsname.h>
#include <unistd.h>

#include <sstream>

#include "platform/linux/linux_descriptions_internal.h"
#include "platform/system_info.h"

namespace {

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The first "model name" of /proc/cpuinfo; architectures whose kernel gives
// none leave it empty.
std::string cpu_model() {
  std::istringstream info(read_system_text("/proc/cpuinfo"));
  std::string line;
  while (std::getline(info, line)) {
    const auto colon = line.find(':');
    if (colon != std::string::npos && trimmed(line.substr(0, colon)) == "model name")
      return trimmed(line.substr(colon + 1));
  }
  return "";
}

}  // namespace

std::string os_release_value(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    line = trimmed(line);
    if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
    const std::string value = line.substr(key.size() + 1);
    if (value.empty() || (value[0] != '"' && value[0] != '\'')) return value;
    // Shell quoting: within double quotes a backslash escapes $ " \ and `;
    // within single quotes nothing is special.
    const char quote = value[0];
    std::string unquoted;
    for (std::size_t i = 1; i < value.size() && value[i] != quote; ++i) {
      if (quote == '"' && value[i] == '\\' && i + 1 < value.size() &&
          std::string("$\"\\`").find(value[i + 1]) != std::string::npos)
        ++i;
      unquoted += value[i];
    }
    return unquoted;
  }
  return "";
}

SystemDescription describe_system() {
  SystemDescription system;
  struct utsname names;
  if (::uname(&names) == 0) {
    system.kernel_name = names.sysname;
    system.kernel_release = names.release;
    system.kernel_version = names.version;
    system.machine = names.machine;
  }
  std::string release = read_system_text("/etc/os-release");
  if (release.empty()) release = read_system_text("/usr/lib/os-release");
  system.distribution = os_release_value(release, "PRETTY_NAME");
  system.cpu_model = cpu_model();
  const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
  if (cpus > 0) system.logical_cpus = static_cast<std::uint32_t>(cpus);
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_bytes = ::sysconf(_SC_PAGESIZE);
  if (pages > 0 && page_bytes > 0)
    system.memory_bytes =
        static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_bytes);
  return system;
}

// Linux is no Windows release: version 0.0, which the benchmark names "Unknown".
bool query_os_version(OsVersion& version) {
  version.major = 0;
  version.minor = 0;
  return true;
}

bool query_64bit_system() { return false; }
