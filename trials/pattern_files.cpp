#include "trials/pattern_files.h"

#include <ostream>

#include "console/console_printer.h"
#include "console/texts.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "platform/memory.h"
#include "trials/work_directory.h"

namespace {

// The step that advances a state by four draws, from the generator's own.
constexpr std::uint32_t kMultiplier2 = kGeneratorMultiplier * kGeneratorMultiplier;
constexpr std::uint32_t kIncrement2 = next_state(kGeneratorIncrement);
constexpr std::uint32_t kMultiplier4 = kMultiplier2 * kMultiplier2;
constexpr std::uint32_t kIncrement4 = kIncrement2 * kMultiplier2 + kIncrement2;

inline void store_word(unsigned char* word, std::uint32_t state) {
  const unsigned char byte = drawn_byte(state);
  word[0] = byte;
  word[1] = byte;
}

}  // namespace

std::uint32_t fill_words_from(std::uint32_t state, unsigned char* buffer, std::uint32_t words) {
  // The generator's draws taken four at a time: four interleaved
  // states that each jump four draws ahead, so the multiplications do not
  // wait on one another. The bytes and the final state are exactly those of
  // drawing one by one.
  std::uint32_t i = 0;
  if (words >= 4) {
    std::uint32_t s0 = next_state(state);
    std::uint32_t s1 = next_state(s0);
    std::uint32_t s2 = next_state(s1);
    std::uint32_t s3 = next_state(s2);
    std::uint32_t last = s3;
    for (; i + 4 <= words; i += 4) {
      store_word(buffer + 2 * i, s0);
      store_word(buffer + 2 * i + 2, s1);
      store_word(buffer + 2 * i + 4, s2);
      store_word(buffer + 2 * i + 6, s3);
      last = s3;
      s0 = s0 * kMultiplier4 + kIncrement4;
      s1 = s1 * kMultiplier4 + kIncrement4;
      s2 = s2 * kMultiplier4 + kIncrement4;
      s3 = s3 * kMultiplier4 + kIncrement4;
    }
    state = last;
  }
  for (; i < words; ++i) {
    state = next_state(state);
    store_word(buffer + 2 * i, state);
  }
  return state;
}

void fill_words(Generator& generator, unsigned char* buffer, std::uint32_t words) {
  generator.state = fill_words_from(generator.state, buffer, words);
}

std::uint32_t words_per_file(std::int64_t file_kib) {
  return file_kib >= 1024 ? kFillBufferBytes / 2 : static_cast<std::uint32_t>(file_kib) * 512u;
}

namespace {

// Writes one test file; false after reporting the failure.
bool write_test_file(ConsolePrinter& printer, const std::string& path, unsigned char* fill,
                     std::int64_t whole_mib, std::int64_t remainder_kib,
                     std::uint64_t bytes_before) {
  Outcome written;
  const OpenFile opened(path, FileAccess::ReadWrite, FileDisposition::CreateNew, &written);
  const FileHandle file = opened.handle();
  if (file == kInvalidFile) {
    console() << text::kCreateFileError << std::endl;
    write_failure(printer, written);
    return false;
  }
  set_compression_off(file);
  bool stopped = false;  // by an interruption, before a whole MiB
  for (std::int64_t n = 0; written && !stopped && n < whole_mib; ++n) {
    stopped = interruption_requested();
    if (!stopped) written = write_file(file, fill, kFillBufferBytes);
    printer.counters().bytes_done(bytes_before +
                                  static_cast<std::uint64_t>(n + 1) * kFillBufferBytes);
  }
  if (written && !stopped && remainder_kib != 0)
    written = write_file(file, fill, static_cast<std::uint32_t>(remainder_kib) * 1024u);
  if (!written || stopped) {
    // Closed without a flush, left behind with what was written. An
    // interrupted run stops here without a failure.
    if (!interruption_requested()) {
      console() << text::kWriteFileError << std::endl;
      written.path = system_path(path);
      write_failure(printer, written);
    }
    return false;
  }
  flush_file(file);
  return true;
}

}  // namespace

bool make_test_files(ConsolePrinter& printer, Generator& generator,
                     const std::string& work_directory, std::int64_t file_kib,
                     std::int32_t file_count) {
  const IoBuffer fill_buffer(kFillBufferBytes);
  unsigned char* fill = fill_buffer.bytes();
  if (fill == nullptr) {
    write_failure(printer, buffer_failure(kFillBufferBytes));
    return false;
  }

  const std::int64_t whole_mib = file_kib / 1024;
  const std::int64_t remainder_kib = file_kib % 1024;
  const std::uint32_t words = words_per_file(file_kib);

  bool ok = true;
  for (std::int32_t i = 0; ok && i < file_count; ++i) {
    ok = !interruption_requested();
    if (!ok) break;
    fill_words(generator, fill, words);
    const std::uint64_t file_bytes = static_cast<std::uint64_t>(file_kib) * 1024u;
    ok = write_test_file(printer, test_file_path(work_directory, i), fill, whole_mib, remainder_kib,
                         file_bytes * static_cast<std::uint64_t>(i));
    printer.counters().bytes_done(file_bytes * static_cast<std::uint64_t>(i + 1));
  }
  return ok;
}
