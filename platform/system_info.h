// What the system a run measures on is: its kernel and distribution, or
// Windows' own version, the processor and the memory. A field the platform
// cannot know is left empty (texts) or absent (std::optional); none is guessed.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

// The operating system's version numbers, as the OS line names them.
struct OsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
};

// False when the version cannot be read. Platforms that are not Windows
// report a version that names no Windows release.
bool query_os_version(OsVersion& version);
// True when this 32-bit process runs on a 64-bit system.
bool query_64bit_system();

struct WindowsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};

struct SystemDescription {
  // uname: "Linux", "6.1.0-18-amd64", "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1
  // (2024-02-01)", "x86_64". Empty on Windows.
  std::string kernel_name;
  std::string kernel_release;
  std::string kernel_version;
  std::string machine;
  // PRETTY_NAME of os-release: "Debian GNU/Linux 12 (bookworm)".
  std::string distribution;
  // Windows: the version the system really is, whatever version the program
  // is told for compatibility; and whether the system (not this 32-bit
  // process) is 64-bit.
  std::optional<WindowsVersion> windows_version;
  std::optional<bool> windows_64bit;
  std::string cpu_model;  // "Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz"
  std::optional<std::uint32_t> logical_cpus;
  std::optional<std::uint64_t> memory_bytes;  // physical memory
};

SystemDescription describe_system();
