// Report files on Windows: a new file (CREATE_NEW), then MoveFileExA over the
// old one; appends through FILE_APPEND_DATA, which writes at the end.
#include "platform/report_files.h"

#include <windows.h>

#include <string>

#include "platform/win32/win32_failure.h"

namespace {

// Writes all of `bytes` to the file.
bool write_all(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote,
                   nullptr))
      return false;
    if (wrote == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    done += wrote;
  }
  return true;
}

// Creates a file of a name no one has taken, beside `name`: "<name>.<pid>.<n>.new".
// A reparse point of that name is not followed: CREATE_NEW fails on any name
// that is there.
HANDLE create_beside(const std::string& name, std::string& made) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    made = name + "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(attempt) +
           ".new";
    const HANDLE file = CreateFileA(made.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

Outcome replace_file_contents(const std::string& name, const std::string& bytes) {
  std::string made;
  const HANDLE file = create_beside(name, made);
  if (file == INVALID_HANDLE_VALUE) return last_error_failure("create", made);
  if (!write_all(file, bytes)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    DeleteFileA(made.c_str());
    return last_error_failure("write", made, error);
  }
  if (!CloseHandle(file)) {
    const DWORD error = GetLastError();
    DeleteFileA(made.c_str());
    return last_error_failure("close", made, error);
  }
  // The rename replaces whatever file or link bears the name; a directory of
  // that name makes it fail.
  if (!MoveFileExA(made.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    const DWORD error = GetLastError();
    DeleteFileA(made.c_str());
    return last_error_failure("rename", name, error);
  }
  return success();
}

Outcome append_line_to_file(const std::string& name, const std::string& line) {
  const HANDLE file =
      CreateFileA(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_error_failure("open", name);
  const std::string whole = line + "\n";
  DWORD wrote = 0;
  const bool ok = WriteFile(file, whole.data(), static_cast<DWORD>(whole.size()), &wrote, nullptr);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) return last_error_failure("write", name, error);
  if (wrote != whole.size())
    return failure("write", name,
                   std::to_string(wrote) + " of " + std::to_string(whole.size()) +
                       " bytes written");
  return success();
}
