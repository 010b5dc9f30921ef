// File services on the target volume. Paths are the logical paths the
// benchmark builds: a drive string followed by backslash-separated names.
// Each platform layer translates them to its own form.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "platform/failure.h"
#include "platform/scoped_resource.h"

// An open file. On Windows it carries a HANDLE, on POSIX a descriptor.
using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;

enum class FileAccess { Read, Write, ReadWrite };
enum class FileDisposition {
  CreateNew,     // create the file; fail when the name exists, whatever it is
  OpenExisting,  // fail when the file does not exist
};

// Opens a file with the system's file cache bypassed, sequential access
// announced and no sharing. Neither disposition follows a link in the file's
// own name: a link there is never opened through (POSIX: the open fails;
// Windows: the link itself is opened, never its target), and a name that
// exists, as a link or as anything else, is never created over. A path
// directly inside a held directory (platform/directories.h) is opened there.
// Returns kInvalidFile on failure, and tells why in `failed` when one is given.
FileHandle open_unbuffered(const std::string& path, FileAccess access,
                           FileDisposition disposition, Outcome* failed = nullptr);

// Readies a file just opened for transfers of up to `longest` bytes, so that
// none of them needs to allocate memory; called before a timed section.
void prepare_transfers(FileHandle file, std::uint32_t longest);

// Synchronous transfers of exactly `length` bytes at the current position. A
// read that meets the end of the file first fails as short_read does. A
// length of 0 succeeds on an open file. Failures of transfers carry no path:
// the caller names the file.
Outcome write_file(FileHandle file, const void* buffer, std::uint32_t length);
// A read that also tells how many bytes arrived in `got`, and succeeds with
// fewer than `length` where the file ends.
Outcome read_file_counted(FileHandle file, void* buffer, std::uint32_t length,
                          std::uint32_t& got);
inline Outcome read_file(FileHandle file, void* buffer, std::uint32_t length) {
  std::uint32_t got = 0;
  Outcome outcome = read_file_counted(file, buffer, length, got);
  if (outcome && got < length) return short_read(got, length);
  return outcome;
}

// Moves the position of a file opened for reading to `position` bytes from
// its start, for reads that sample a file rather than read it through. The
// position is a multiple of 4096 (a whole number of sectors on every common
// volume, as the cache bypass needs).
Outcome set_read_position(FileHandle file, std::uint64_t position);

// The length of the first read or write, since the last call, that went
// through the system's file cache on a file opened to bypass it: the volume
// refused direct I/O for it, or keeps its files in memory. 0 when none did.
// Whole-file copies are not counted.
std::uint32_t take_cached_transfer_length();

// Puts the file's data on the medium. Fails when the system says the data
// did not get there (an I/O error, a full volume, a quota: POSIX EIO, ENOSPC,
// EDQUOT; Windows their equivalents); a volume that cannot flush at all
// (EINVAL, ENOTSUP) is no failure. The failure carries no path.
Outcome flush_file(FileHandle file);
// Writes what the system's cache still holds of the file's data to the medium,
// without a flush of its metadata or of the device, and drops the file's cached
// data, so that every later read of it comes from the medium, also where the
// cache bypass is not available. Cheaper than flush_file: it waits for no
// journal. Results are of no interest to callers.
void drop_cached_data(FileHandle file);
// Writes what the system's cache still holds of the file's data to the medium
// and waits until it is there, as drop_cached_data does, but leaves the data
// cached and returns at once where nothing is left to write. `offered` is
// false where the system offers no such write-out (Windows), so that its time
// is not taken for a measure. Fails as flush_file fails; carries no path.
Outcome write_out_data(FileHandle file, bool& offered);
void close_file(FileHandle file);

// A file opened with open_unbuffered, closed when its owner goes out of
// scope or is given another file. Moving hands the file to a new owner.
struct OpenFileTraits {
  using Value = FileHandle;
  static FileHandle none() { return kInvalidFile; }
  static bool held(FileHandle file) { return file != kInvalidFile; }
  static void close(FileHandle file) { close_file(file); }
};

class OpenFile {
 public:
  OpenFile() = default;  // owns no file
  OpenFile(const std::string& path, FileAccess access, FileDisposition disposition,
           Outcome* failed = nullptr)
      : file_(open_unbuffered(path, access, disposition, failed)) {}
  // kInvalidFile when the open failed or the file was handed on.
  FileHandle handle() const { return file_.get(); }
  // Hands the file to the caller, who closes it; the owner is left with none.
  FileHandle release() { return file_.release(); }

 private:
  ScopedResource<OpenFileTraits> file_;
};

// Asks the file system to store the file uncompressed. Silently does nothing
// where the file system has no per-file compression.
void set_compression_off(FileHandle file);

// Called by a whole-file copy after each piece with the bytes of this file
// copied so far, and at least once per file; returning false stops the copy,
// which then fails with the reason "interrupted".
struct CopyPieces {
  bool (*after_piece)(void* context, std::uint64_t copied) = nullptr;
  void* context = nullptr;
};

// The operating system's whole-file copy: `to` is created and holds the
// whole of `from` when this succeeds. A `to` that exists, as a link or as
// anything else, fails the copy and is left as it is; `from` is opened as
// open_unbuffered opens a file.
Outcome copy_whole_file(const std::string& from, const std::string& to, CopyPieces pieces = {});

// How copy_whole_file copies on this system, as a run's record names it:
// "CopyFileA", "read/write loop, at least 128 KiB".
const char* whole_file_copy_text();
// The cache bypass open_unbuffered asks for: "O_DIRECT", "FILE_FLAG_NO_BUFFERING".
const char* cache_bypass_text();

// The path as the system names it, for messages to the user.
std::string system_path(const std::string& path);
