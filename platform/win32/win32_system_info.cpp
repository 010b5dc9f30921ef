// The system's description on Windows. Every call that not every Windows
// since NT 4.0 has is looked up at run time, and the registry's functions
// come from advapi32.dll loaded at run time, so the program imports nothing
// new for them:
// - RtlGetVersion (ntdll.dll, Windows 2000) gives the real version, which
//   GetVersionExA hides from programs without a compatibility manifest from
//   Windows 8.1 on; GetVersionExA stands in where it is missing.
// - GlobalMemoryStatusEx (Windows 2000) gives memory beyond 4 GiB.
// - The processor's name is ProcessorNameString of the registry key
//   HARDWARE\DESCRIPTION\System\CentralProcessor\0.
#include <windows.h>

#include "platform/system_info.h"

namespace {

template <typename Function>
Function look_up(const char* module, const char* name) {
  const HMODULE handle = GetModuleHandleA(module);
  return handle != nullptr
             ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)))
             : nullptr;
}

// The layout RtlGetVersion fills (RTL_OSVERSIONINFOW).
struct RtlVersion {
  ULONG size;
  ULONG major;
  ULONG minor;
  ULONG build;
  ULONG platform;
  WCHAR service_pack[128];
};

bool real_version(WindowsVersion& version) {
  using GetVersion = LONG(WINAPI*)(RtlVersion*);
  const auto rtl_get_version = look_up<GetVersion>("ntdll.dll", "RtlGetVersion");
  if (rtl_get_version != nullptr) {
    RtlVersion info;
    ZeroMemory(&info, sizeof(info));
    info.size = sizeof(info);
    if (rtl_get_version(&info) == 0) {
      version = WindowsVersion{info.major, info.minor, info.build};
      return true;
    }
  }
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExA(&info)) return false;
  // Windows 9x keeps its build number in the low word only.
  version = WindowsVersion{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber & 0xffff};
  return true;
}

std::string processor_name() {
  using OpenKey = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
  using QueryValue = LONG(WINAPI*)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
  using CloseKey = LONG(WINAPI*)(HKEY);
  const HMODULE advapi = LoadLibraryA("advapi32.dll");
  if (advapi == nullptr) return "";
  std::string name;
  const auto open_key = reinterpret_cast<OpenKey>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "RegOpenKeyExA")));
  const auto query_value = reinterpret_cast<QueryValue>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "RegQueryValueExA")));
  const auto close_key = reinterpret_cast<CloseKey>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "RegCloseKey")));
  HKEY key = nullptr;
  if (open_key != nullptr && query_value != nullptr && close_key != nullptr &&
      open_key(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
               KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    char text[256];
    DWORD type = 0, bytes = sizeof(text) - 1;
    if (query_value(key, "ProcessorNameString", nullptr, &type,
                    reinterpret_cast<LPBYTE>(text), &bytes) == ERROR_SUCCESS &&
        type == REG_SZ) {
      text[bytes] = '\0';
      name = text;  // up to the first NUL, which the stored value ends with
      // Some processors pad their name with leading blanks.
      name.erase(0, name.find_first_not_of(' '));
      while (!name.empty() && name.back() == ' ') name.pop_back();
    }
    close_key(key);
  }
  FreeLibrary(advapi);
  return name;
}

}  // namespace

SystemDescription describe_system() {
  SystemDescription system;
  WindowsVersion version;
  if (real_version(version)) system.windows_version = version;
  system.windows_64bit = query_64bit_system();
  system.cpu_model = processor_name();
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  if (info.dwNumberOfProcessors != 0) system.logical_cpus = info.dwNumberOfProcessors;
  using MemoryStatus = BOOL(WINAPI*)(MEMORYSTATUSEX*);
  const auto memory_status = look_up<MemoryStatus>("kernel32.dll", "GlobalMemoryStatusEx");
  MEMORYSTATUSEX memory;
  ZeroMemory(&memory, sizeof(memory));
  memory.dwLength = sizeof(memory);
  if (memory_status != nullptr && memory_status(&memory)) system.memory_bytes = memory.ullTotalPhys;
  return system;
}

// Windows version numbers.
bool query_os_version(OsVersion& version) {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof(info));
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record the query expects");
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExA(&info)) return false;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  return true;
}

bool query_64bit_system() {
#ifdef _WIN64
  // A 64-bit process runs only on a 64-bit system; there is no 32-bit
  // subsystem directory to ask about from here.
  return true;
#else
  // The call exists from Windows XP on; it is looked up at run time so the
  // program still starts on older systems, which are 32-bit.
  using QueryWow64Directory = UINT(WINAPI*)(LPSTR, UINT);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const auto query = kernel != nullptr ? reinterpret_cast<QueryWow64Directory>(reinterpret_cast<void*>(
                                             GetProcAddress(kernel, "GetSystemWow64DirectoryA")))
                                       : nullptr;
  if (query == nullptr) return false;
  char directory[200];
  return query(directory, sizeof(directory)) != 0;
#endif
}
