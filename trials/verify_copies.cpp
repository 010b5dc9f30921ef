#include "trials/verify_copies.h"

#include <cstring>

#include "console/console_printer.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "platform/memory.h"
#include "trials/pattern_files.h"
#include "trials/work_directory.h"

namespace {

// A test file is its first min(size, 1 MiB) bytes, the fill pattern, over and
// over: each whole MiB repeats it and the remainder is its beginning. So the
// pattern is drawn once per file, the copy is read in pieces of 1 MiB from its
// start, and each piece is compared with the pattern's beginning.
constexpr std::uint32_t kPatternBytes = kFillBufferBytes;
constexpr std::uint32_t kReadBytes = kFillBufferBytes;

// Index of the first of `length` bytes that differs, or `length`.
std::uint32_t first_difference(const unsigned char* read, const unsigned char* pattern,
                               std::uint32_t length) {
  if (std::memcmp(read, pattern, length) == 0) return length;
  std::uint32_t k = 0;
  while (read[k] == pattern[k]) ++k;
  return k;
}

// A test file is sampled rather than read through: the first 4 KiB of each
// of its MiB, or all of a file under 1 MiB. A medium that keeps less than it
// takes loses whole runs of what was written earlier, not single bytes here
// and there, and one block per MiB finds such a run for a small fraction of
// a second read of every file.
constexpr std::uint32_t kSampleBytes = 4096;

// One line on standard error about a file that failed the check: a copy, or
// (kind "test file ") a test file.
void report(ConsolePrinter& printer, const std::string& file, const std::string& what,
            std::uint64_t checked, const char* kind = "") {
  write_note(printer, kind + ("'" + system_path(file) + "' ") + what + " (" +
                          std::to_string(checked) + " bytes checked)");
}

// Opens a file to be read back. Whatever a copy call or the copy phase left
// of it in the system's cache goes to the medium and out of the cache first,
// so the reads come from the medium even where the cache bypass is not
// available. An invalid handle, after a report, when it cannot be opened.
OpenFile open_to_read_back(ConsolePrinter& printer, const std::string& path, std::uint64_t checked,
                           const char* kind) {
  Outcome failed;
  OpenFile opened(path, FileAccess::Read, FileDisposition::OpenExisting, &failed);
  if (opened.handle() == kInvalidFile)
    report(printer, path, "could not be opened to be read back: " + failed.reason, checked, kind);
  else
    drop_cached_data(opened.handle());
  return opened;
}

// One read of `length` bytes at `offset` of a file `file_bytes` long, which
// got `got` bytes into `read`, against the pattern. `checked` counts the bytes
// found right so far in the trial. False, after a report, when the read
// failed, a byte differs or the file ended early.
bool piece_matches(ConsolePrinter& printer, const std::string& path, const Outcome& outcome,
                   std::uint64_t offset, const unsigned char* read, std::uint32_t got,
                   std::uint32_t length, const unsigned char* pattern, std::uint64_t file_bytes,
                   std::uint64_t& checked, const char* kind) {
  if (!outcome) {
    report(printer, path,
           "could not be read back at byte " + std::to_string(offset) + ": " + outcome.reason,
           checked, kind);
    return false;
  }
  const std::uint32_t same = first_difference(read, pattern, got);
  checked += same;
  if (same < got) {
    report(printer, path, "differs from what was written at byte " + std::to_string(offset + same),
           checked, kind);
    return false;
  }
  if (got < length) {
    report(printer, path,
           "ends at byte " + std::to_string(offset + got) + " of the " +
               std::to_string(file_bytes) + " bytes written",
           checked, kind);
    return false;
  }
  return true;
}

// Checks one copy of `file_bytes` bytes against its test file's pattern.
bool copy_matches(ConsolePrinter& printer, const std::string& copy, std::uint64_t file_bytes,
                  const unsigned char* pattern, unsigned char* buffer, std::uint64_t& checked,
                  std::uint64_t bytes_before) {
  const OpenFile opened = open_to_read_back(printer, copy, checked, "");
  const FileHandle file = opened.handle();
  if (file == kInvalidFile) return false;
  for (std::uint64_t offset = 0;;) {
    const std::uint64_t left = file_bytes - offset;
    // Past the end one more read asks for a whole buffer: it must get nothing.
    const std::uint32_t length =
        left == 0 || left > kReadBytes ? kReadBytes : static_cast<std::uint32_t>(left);
    std::uint32_t got = 0;
    const Outcome read = read_file_counted(file, buffer, length, got);
    if (read && left == 0) {
      if (got == 0) return true;
      report(printer, copy, "is longer than the " + std::to_string(file_bytes) + " bytes written",
             checked);
      return false;
    }
    if (!piece_matches(printer, copy, read, offset, buffer, got, length, pattern, file_bytes,
                       checked, ""))
      return false;
    offset += got;
    printer.counters().bytes_done(bytes_before + offset);
  }
}

// Checks the samples of one test file of `file_bytes` bytes against its
// pattern.
bool test_file_matches(ConsolePrinter& printer, const std::string& path, std::uint64_t file_bytes,
                       const unsigned char* pattern, unsigned char* buffer,
                       std::uint64_t& checked) {
  constexpr const char* kTestFile = "test file ";
  const OpenFile opened = open_to_read_back(printer, path, checked, kTestFile);
  const FileHandle file = opened.handle();
  if (file == kInvalidFile) return false;
  // Each MiB begins with the pattern, so every sample is compared with the
  // pattern's beginning.
  const std::uint64_t block = file_bytes < kFillBufferBytes ? file_bytes : kSampleBytes;
  for (std::uint64_t offset = 0; offset < file_bytes; offset += kFillBufferBytes) {
    const Outcome moved = offset == 0 ? success() : set_read_position(file, offset);
    const std::uint64_t left = file_bytes - offset;
    const auto length = static_cast<std::uint32_t>(left < block ? left : block);
    std::uint32_t got = 0;
    const Outcome read = moved ? read_file_counted(file, buffer, length, got) : moved;
    if (!piece_matches(printer, path, read, offset, buffer, got, length, pattern, file_bytes,
                       checked, kTestFile))
      return false;
  }
  return true;
}

}  // namespace

bool files_read_back_as_written(ConsolePrinter& printer, const std::string& work_directory,
                                std::int64_t file_kib, std::int32_t file_count,
                                std::uint32_t first_state) {
  if (!kReadsBack || file_count <= 0) return true;
  // One buffer: the pattern, then the reads (aligned for the cache bypass).
  const IoBuffer buffers(kPatternBytes + kReadBytes);
  unsigned char* buffer = buffers.bytes();
  if (buffer == nullptr) {
    write_note(printer,
               "no memory to read the copies back in '" + system_path(work_directory) + "'");
    return false;
  }
  const std::uint64_t file_bytes = static_cast<std::uint64_t>(file_kib) * 1024u;
  const std::uint32_t words = words_per_file(file_kib);
  std::uint32_t state = first_state;
  std::uint64_t checked = 0;
  bool ok = true;
  for (std::int32_t i = 0; ok && i < file_count; ++i) {
    // An interrupted run stops at the next copy, with nothing to report.
    ok = !interruption_requested();
    if (!ok) break;
    state = fill_words_from(state, buffer, words);
    ok = copy_matches(printer, copy_file_path(work_directory, i), file_bytes, buffer,
                      buffer + kPatternBytes, checked, file_bytes * static_cast<std::uint64_t>(i));
  }

  // Then the test files, which the copies overwrote on a medium that wraps
  // its writes. Only the pattern's beginning is needed for samples of large
  // files: it is drawn, and the state jumps over the rest of each file's draws.
  const std::uint32_t sample_words =
      file_bytes < kFillBufferBytes ? words : kSampleBytes / 2;
  state = first_state;
  for (std::int32_t i = 0; ok && i < file_count; ++i) {
    ok = !interruption_requested();
    if (!ok) break;
    fill_words_from(state, buffer, sample_words);
    state = state_after_draws(state, words);
    ok = test_file_matches(printer, test_file_path(work_directory, i), file_bytes, buffer,
                           buffer + kPatternBytes, checked);
  }
  return ok;
}
