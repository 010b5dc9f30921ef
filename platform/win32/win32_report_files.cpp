// Report files on Windows: a new file (CREATE_NEW), then MoveFileExA over the
// old one (or, where no new file may be made, the file written in place);
// appends at the end found under a lock of the whole file (LockFileEx).
#include "platform/report_files.h"

#include <windows.h>

#include <string>

#include "platform/interruption.h"
#include "platform/win32/win32_failure.h"
#include "platform/win32/win32_handle.h"

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

// Opens an existing report file to write it: the name itself, never what a
// reparse point there leads to, and only a plain file on a disk with one
// link. Wine does not honour FILE_FLAG_OPEN_REPARSE_POINT, so the attributes
// are checked after the open too. INVALID_HANDLE_VALUE with the failure in
// `refused` otherwise.
HANDLE open_plain_file(const std::string& name, DWORD disposition, Outcome& refused) {
  ScopedHandle file(CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    refused = last_error_failure("open", name);
    return INVALID_HANDLE_VALUE;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    refused = failure("open", name, "a device, not a file");
  } else if (!GetFileInformationByHandle(file.get(), &information)) {
    refused = last_error_failure("open", name);
  } else if ((information.dwFileAttributes &
              (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    refused = failure("open", name, "a link or directory, not a plain file");
  } else if (information.nNumberOfLinks != 1) {
    refused = failure("open", name,
                      "a file with " + std::to_string(information.nNumberOfLinks) +
                          " links, which may be someone else's");
  } else {
    return file.release();
  }
  return INVALID_HANDLE_VALUE;
}

// Moves the file's position to `offset` (SetFilePointer with its high part:
// SetFilePointerEx came with Windows 2000).
bool seek_to(HANDLE file, LONGLONG offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
  return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

// The file's size, or -1 when it cannot be had (GetFileSize, for the same reason).
LONGLONG size_of(HANDLE file) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
  return (static_cast<LONGLONG>(high) << 32) | low;
}

Outcome write_in_place(const std::string& name, const std::string& bytes) {
  Outcome refused;
  const ScopedHandle file(open_plain_file(name, OPEN_EXISTING, refused));
  if (!file) return refused;
  if (!seek_to(file.get(), 0) || !SetEndOfFile(file.get()))
    return last_error_failure("truncate", name);
  if (!write_all(file.get(), bytes)) return last_error_failure("write", name);
  return success();
}

}  // namespace

Outcome replace_file_contents(const std::string& name, const std::string& bytes,
                              Outcome* in_place_because) {
  std::string made;
  const HANDLE file = create_beside(name, made);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const Outcome not_made = last_error_failure("create", made, error);
    // Only a file that is there can be written in place.
    if (error != ERROR_ACCESS_DENIED || GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES)
      return not_made;
    const Outcome written = write_in_place(name, bytes);
    if (written && in_place_because != nullptr) *in_place_because = not_made;
    return written;
  }
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
  Outcome refused;
  const ScopedHandle file(open_plain_file(name, OPEN_ALWAYS, refused));
  if (!file) return refused;
  // The whole file locked against the other runs' appends; anyone who can
  // open the file can hold such a lock, so the wait is bounded.
  OVERLAPPED whole_file{};
  DWORD waited = 0;
  while (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                     MAXDWORD, MAXDWORD, &whole_file)) {
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING)
      return last_error_failure("lock", name);
    if (interruption_requested() || waited >= kAppendLockWaitMs)
      return failure("lock", name, "another process holds its lock; nothing appended");
    Sleep(10);
    waited += 10;
  }
  const std::string whole = line + "\n";
  const LONGLONG size = size_of(file.get());
  Outcome outcome;
  DWORD wrote = 0;
  if (size < 0 || !seek_to(file.get(), size)) {
    outcome = last_error_failure("open", name);
  } else if (!WriteFile(file.get(), whole.data(), static_cast<DWORD>(whole.size()), &wrote,
                        nullptr) ||
             wrote != whole.size()) {
    outcome = wrote == 0 ? last_error_failure("write", name)
                         : failure("write", name,
                                   std::to_string(wrote) + " of " +
                                       std::to_string(whole.size()) + " bytes written");
    // Part of a line is taken away again, under the lock: the end is ours.
    if (wrote != 0 && seek_to(file.get(), size)) SetEndOfFile(file.get());
  }
  UnlockFileEx(file.get(), 0, MAXDWORD, MAXDWORD, &whole_file);
  return outcome;
}
