// Files on a Windows volume, opened past the system's file cache.
//
// With FILE_FLAG_NO_BUFFERING every transfer must start on a sector boundary,
// move a whole number of sectors and use a sector-aligned buffer. The
// benchmark's transfers are whole KiB from page-aligned buffers, which suits
// volumes with 512- and 1024-byte sectors as they are. On volumes with larger
// sectors a transfer may start or end inside a sector; it then goes through an
// aligned scratch buffer: a read fetches the whole sectors around the bytes
// asked for, a write writes whole sectors. The padding past the last byte is
// cut off once, when the file is flushed or closed, not after every write.
// Files are written from their start onwards (they are created or replaced
// first), so the bytes before a write that begins inside a sector are the
// ones written last; they are kept per file for that write.
// prepare_transfers allocates the scratch buffer before a timed section, so
// that no transfer inside it allocates memory.
#include "platform/files.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <map>
#include <vector>

#include "platform/win32/win32_failure.h"
#include "platform/win32/win32_files_internal.h"
#include "platform/win32/win32_handle.h"

namespace {

// FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL
constexpr DWORD kUnbufferedSequential =
    FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL;
static_assert(kUnbufferedSequential == 0x28000080, "cache bypass with sequential access");

// A padding unit that is a whole number of sectors on every common volume.
constexpr std::uint32_t kFallbackSectorBytes = 4096;

struct UnbufferedFile {
  std::uint32_t sector_bytes = kFallbackSectorBytes;
  std::uint64_t position = 0;  // where the next transfer starts
  // What was written of the sector that holds `position`, when that sector
  // is partly written.
  std::vector<unsigned char> partial_sector;
  bool padded_past_end = false;  // the file holds padding past `position`
};

std::map<FileHandle, UnbufferedFile>& open_files() {
  static std::map<FileHandle, UnbufferedFile> files;
  return files;
}

// One page-aligned scratch buffer serves all open files; it grows as needed
// and is released when the last file closes.
void* g_scratch = nullptr;
std::size_t g_scratch_bytes = 0;

unsigned char* scratch_buffer(std::size_t bytes) {
  if (bytes > g_scratch_bytes) {
    if (g_scratch != nullptr) VirtualFree(g_scratch, 0, MEM_RELEASE);
    g_scratch = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    g_scratch_bytes = g_scratch != nullptr ? bytes : 0;
  }
  return static_cast<unsigned char*>(g_scratch);
}

void release_scratch_buffer() {
  if (g_scratch != nullptr) VirtualFree(g_scratch, 0, MEM_RELEASE);
  g_scratch = nullptr;
  g_scratch_bytes = 0;
}

HANDLE to_handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

bool is_power_of_two(DWORD value) { return value != 0 && (value & (value - 1)) == 0; }

// The logical sector size of the volume that holds `path`, looked up once
// per volume.
std::uint32_t volume_sector_bytes(const std::string& path) {
  static std::map<std::string, std::uint32_t> known;
  char full[MAX_PATH];
  std::string root;
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return kFallbackSectorBytes;
  if (!volume_root(full, root)) return kFallbackSectorBytes;
  const auto found = known.find(root);
  if (found != known.end()) return found->second;

  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, total_clusters = 0;
  std::uint32_t sector_bytes = kFallbackSectorBytes;
  if (GetDiskFreeSpaceA(root.c_str(), &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                        &total_clusters) &&
      is_power_of_two(bytes_per_sector))
    sector_bytes = bytes_per_sector;
  known.emplace(root, sector_bytes);
  return sector_bytes;
}

// SetFilePointer with the high half takes 64-bit positions on every Windows
// (SetFilePointerEx needs Windows 2000). Its answer is ambiguous for a
// position whose low half is all ones; the error code settles it.
bool seek_to(HANDLE handle, std::uint64_t position) {
  LONG high = static_cast<LONG>(position >> 32);
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(handle, static_cast<LONG>(position & 0xffffffffu), &high,
                                   FILE_BEGIN);
  return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

bool fits_sectors(const UnbufferedFile& file, const void* buffer, std::uint32_t length) {
  const std::uint32_t sector = file.sector_bytes;
  return file.position % sector == 0 && length % sector == 0 &&
         reinterpret_cast<std::uintptr_t>(buffer) % sector == 0;
}

// The whole sectors that cover `head` bytes before the position and `length`
// bytes from it, or 0 when they do not fit one transfer.
DWORD covering_bytes(const UnbufferedFile& file, std::uint32_t head, std::uint32_t length) {
  const std::uint64_t span = static_cast<std::uint64_t>(head) + length;
  const std::uint64_t padded = (span + file.sector_bytes - 1) / file.sector_bytes * file.sector_bytes;
  return padded > 0xffffffffu ? 0 : static_cast<DWORD>(padded);
}

bool read_through_scratch(HANDLE handle, UnbufferedFile& file, void* buffer,
                          std::uint32_t length, std::uint32_t& available) {
  const std::uint32_t head = static_cast<std::uint32_t>(file.position % file.sector_bytes);
  const DWORD padded = covering_bytes(file, head, length);
  unsigned char* scratch = padded != 0 ? scratch_buffer(padded) : nullptr;
  if (scratch == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  DWORD got = 0;
  if (!seek_to(handle, file.position - head) || !ReadFile(handle, scratch, padded, &got, nullptr)) {
    const DWORD error = GetLastError();
    seek_to(handle, file.position);
    SetLastError(error);
    return false;
  }
  // Near the end of the file fewer bytes come back; the position follows
  // what was read, as it does for a direct read.
  available = got > head ? (got - head < length ? got - head : length) : 0;
  std::memcpy(buffer, scratch + head, available);
  file.position += available;
  return seek_to(handle, file.position);
}

bool write_through_scratch(HANDLE handle, UnbufferedFile& file, const void* buffer,
                           std::uint32_t length) {
  const std::uint32_t head = static_cast<std::uint32_t>(file.position % file.sector_bytes);
  // The bytes before the position in its sector are known only when this
  // layer wrote them, which is the case for files written from their start.
  if (file.partial_sector.size() != head) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const DWORD padded = covering_bytes(file, head, length);
  unsigned char* scratch = padded != 0 ? scratch_buffer(padded) : nullptr;
  if (scratch == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  const std::size_t span = static_cast<std::size_t>(head) + length;
  std::memcpy(scratch, file.partial_sector.data(), head);
  std::memcpy(scratch + head, buffer, length);
  std::memset(scratch + span, 0, padded - span);

  DWORD written = 0;
  if (!seek_to(handle, file.position - head) ||
      !WriteFile(handle, scratch, padded, &written, nullptr)) {
    const DWORD error = GetLastError();
    seek_to(handle, file.position);
    SetLastError(error);
    return false;
  }
  const std::uint64_t end = file.position + length;
  if (!seek_to(handle, end)) return false;
  file.position = end;
  file.padded_past_end = padded != span;
  const std::size_t tail = static_cast<std::size_t>(end % file.sector_bytes);
  file.partial_sector.assign(scratch + span - tail, scratch + span);
  return true;
}

// Cuts the file back to its exact length after padded writes.
void cut_padding(FileHandle file) {
  const auto found = open_files().find(file);
  if (found == open_files().end() || !found->second.padded_past_end) return;
  const HANDLE handle = to_handle(file);
  if (seek_to(handle, found->second.position) && SetEndOfFile(handle))
    found->second.padded_past_end = false;
}

}  // namespace

std::string drive_or_share_root(const std::string& full) {
  if (full.size() >= 3 && full[1] == ':' && full[2] == '\\') return full.substr(0, 3);
  if (full.compare(0, 2, "\\\\") != 0) return "";
  const std::size_t share = full.find('\\', 2);
  if (share == std::string::npos || share == 2 || share + 1 == full.size()) return "";
  const std::size_t end = full.find('\\', share + 1);
  return end == std::string::npos ? full + '\\' : full.substr(0, end + 1);
}

// The root of the volume that holds the full path `full`. GetVolumePathNameA
// also finds volumes mounted on folders; it came with Windows 2000 and is
// looked up at run time, so the program starts on older systems, where every
// volume sits at a drive root or a share.
bool volume_root(const std::string& full, std::string& root) {
  using VolumePathName = BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD);
  static const auto query = [] {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel != nullptr ? reinterpret_cast<VolumePathName>(reinterpret_cast<void*>(
                                   GetProcAddress(kernel, "GetVolumePathNameA")))
                             : nullptr;
  }();
  if (query != nullptr) {
    char found[MAX_PATH];
    if (!query(full.c_str(), found, MAX_PATH)) return false;
    root = found;
    return true;
  }
  root = drive_or_share_root(full);
  if (!root.empty()) return true;
  SetLastError(ERROR_INVALID_NAME);
  return false;
}

FileHandle open_unbuffered(const std::string& path, FileAccess access,
                           FileDisposition disposition, Outcome* failed) {
  DWORD desired = GENERIC_READ | GENERIC_WRITE;
  if (access == FileAccess::Read) desired = GENERIC_READ;
  if (access == FileAccess::Write) desired = GENERIC_WRITE;
  // A new file only, and never through a reparse point (a symbolic link or
  // a mount point) in the file's own name: the point itself is opened.
  const DWORD creation = disposition == FileDisposition::CreateNew ? CREATE_NEW : OPEN_EXISTING;
  const HANDLE handle = CreateFileA(path.c_str(), desired, 0, nullptr, creation,
                                    kUnbufferedSequential | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (failed != nullptr)
      *failed = last_error_failure(creation == CREATE_NEW ? "create" : "open", path);
    return kInvalidFile;
  }
  const auto file = reinterpret_cast<FileHandle>(handle);
  UnbufferedFile state;
  state.sector_bytes = volume_sector_bytes(path);
  open_files()[file] = state;
  return file;
}

namespace {

bool read_counted(FileHandle file, void* buffer, std::uint32_t length, std::uint32_t& got) {
  const HANDLE handle = to_handle(file);
  const auto found = open_files().find(file);
  DWORD bytes_read = 0;
  got = 0;
  if (found == open_files().end() || length == 0) {
    const bool ok = ReadFile(handle, buffer, length, &bytes_read, nullptr) != 0;
    got = bytes_read;
    return ok;
  }
  UnbufferedFile& state = found->second;
  if (!fits_sectors(state, buffer, length))
    return read_through_scratch(handle, state, buffer, length, got);
  if (!ReadFile(handle, buffer, length, &bytes_read, nullptr)) return false;
  state.position += bytes_read;
  got = bytes_read;
  return true;
}

bool write_whole(FileHandle file, const void* buffer, std::uint32_t length) {
  const HANDLE handle = to_handle(file);
  const auto found = open_files().find(file);
  DWORD written = 0;
  if (found == open_files().end() || length == 0)
    return WriteFile(handle, buffer, length, &written, nullptr) != 0;
  UnbufferedFile& state = found->second;
  if (!fits_sectors(state, buffer, length))
    return write_through_scratch(handle, state, buffer, length);
  if (!WriteFile(handle, buffer, length, &written, nullptr)) return false;
  state.position += length;
  return true;
}

}  // namespace

Outcome read_file_counted(FileHandle file, void* buffer, std::uint32_t length,
                          std::uint32_t& got) {
  return read_counted(file, buffer, length, got) ? success() : last_error_failure("read", "");
}

Outcome set_read_position(FileHandle file, std::uint64_t position) {
  const auto found = open_files().find(file);
  if (!seek_to(to_handle(file), position)) return last_error_failure("seek", "");
  if (found != open_files().end()) {
    // Reads alone move a file this way: no written sector is partly kept.
    found->second.position = position;
    found->second.partial_sector.clear();
  }
  return success();
}

Outcome write_file(FileHandle file, const void* buffer, std::uint32_t length) {
  return write_whole(file, buffer, length) ? success() : last_error_failure("write", "");
}

// FILE_FLAG_NO_BUFFERING is never given up: transfers that do not fill whole
// sectors take the padded path above, which bypasses the cache as well.
std::uint32_t take_cached_transfer_length() { return 0; }

void prepare_transfers(FileHandle file, std::uint32_t longest) {
  const auto found = open_files().find(file);
  // Whole-KiB transfers from page-aligned buffers fill whole sectors of up
  // to 1 KiB; only larger sectors can need the padded path.
  if (found == open_files().end() || found->second.sector_bytes <= 1024) return;
  UnbufferedFile& state = found->second;
  state.partial_sector.reserve(state.sector_bytes);
  const DWORD padded = covering_bytes(state, state.sector_bytes - 1, longest);
  if (padded != 0) scratch_buffer(padded);
}

Outcome flush_file(FileHandle file) {
  cut_padding(file);
  if (FlushFileBuffers(to_handle(file))) return success();
  // The data did not reach the medium: an I/O error, a full disk or quota.
  // A handle or device that cannot be flushed is no failure.
  const DWORD error = GetLastError();
  switch (error) {
    case ERROR_CRC: case ERROR_WRITE_FAULT: case ERROR_IO_DEVICE: case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: case ERROR_NOT_ENOUGH_QUOTA: case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED: case ERROR_NOT_READY:
      return last_error_failure("flush", "", error);
    default: return success();
  }
}

// A file opened without buffering is read from the medium: the system writes
// out and purges what its cache holds of the file before such reads.
void drop_cached_data(FileHandle) {}

// Windows has no data-only write-out of what another handle left in its
// cache; the read-back's unbuffered reads make the system write it out then.
Outcome write_out_data(FileHandle, bool& offered) {
  offered = false;
  return success();
}

void close_file(FileHandle file) {
  cut_padding(file);
  CloseHandle(to_handle(file));
  open_files().erase(file);
  if (open_files().empty()) release_scratch_buffer();
}

void set_compression_off(FileHandle file) {
  USHORT format = COMPRESSION_FORMAT_NONE;
  DWORD returned = 0;
  DeviceIoControl(to_handle(file), FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                  &returned, nullptr);
}

namespace {

// What CopyFileExA has told of a copy so far.
struct CopyProgress {
  const CopyPieces* pieces;
  bool told = false;     // the hook has heard of a piece
  bool stopped = false;  // the hook said stop
};

// CopyFileExA's progress routine: after each piece of the file's data it
// tells the hook, and cancels the copy when the hook says stop.
DWORD CALLBACK tell_piece(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER, LARGE_INTEGER,
                          DWORD, DWORD reason, HANDLE, HANDLE, LPVOID data) {
  auto* progress = static_cast<CopyProgress*>(data);
  if (reason != CALLBACK_CHUNK_FINISHED) return PROGRESS_CONTINUE;
  progress->told = true;
  if (progress->pieces->after_piece(progress->pieces->context,
                                    static_cast<std::uint64_t>(transferred.QuadPart)))
    return PROGRESS_CONTINUE;
  progress->stopped = true;
  return PROGRESS_CANCEL;
}

// The length of the file at `path`, from its directory entry; 0 when unknown.
std::uint64_t listed_length(const std::string& path) {
  WIN32_FIND_DATAA found;
  const ScopedSearch search(FindFirstFileA(path.c_str(), &found));
  if (!search) return 0;
  return static_cast<std::uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
}

}  // namespace

const char* whole_file_copy_text() { return "CopyFileA"; }
const char* cache_bypass_text() { return "FILE_FLAG_NO_BUFFERING"; }

Outcome copy_whole_file(const std::string& from, const std::string& to, CopyPieces pieces) {
  // The shell's own copy call, when nobody listens for its pieces; a
  // destination that exists fails it (fail-if-exists) and is left alone.
  if (pieces.after_piece == nullptr)
    return CopyFileA(from.c_str(), to.c_str(), TRUE) != 0 ? success()
                                                          : last_error_failure("copy to", to);
  // The same copy with a progress routine (Windows NT 4.0 and later). A
  // cancelled copy removes what it had written of the destination.
  CopyProgress progress{&pieces};
  if (!CopyFileExA(from.c_str(), to.c_str(), tell_piece, &progress, nullptr,
                   COPY_FILE_FAIL_IF_EXISTS))
    return progress.stopped ? failure("copy to", to, "interrupted")
                            : last_error_failure("copy to", to);
  // An empty file has no piece to tell of: the hook hears of the whole file once.
  if (!progress.told && !pieces.after_piece(pieces.context, listed_length(to)))
    return failure("copy to", to, "interrupted");
  return success();
}

std::string system_path(const std::string& path) { return path; }

bool use_sector_size(FileHandle file, std::uint32_t sector_bytes) {
  const auto found = open_files().find(file);
  if (found == open_files().end() || sector_bytes == 0 || !is_power_of_two(sector_bytes) ||
      found->second.position != 0)
    return false;
  found->second.sector_bytes = sector_bytes;
  return true;
}
