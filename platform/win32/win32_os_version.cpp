// Windows version numbers.
#include "platform/os_version.h"

#include <windows.h>

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
