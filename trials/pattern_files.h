// Test files: pseudo-random content written past the system's file cache.
#pragma once
#include <cstdint>
#include <string>

#include "console/console_printer.h"
#include "trials/pseudo_random.h"

// Bytes in the fill buffer that every test file is written from.
constexpr std::uint32_t kFillBufferBytes = 1048576;

// Makes test files 0 to file_count - 1 in the work directory, each file_kib
// KiB long, their content drawn from the generator. Returns false after a
// failure it has reported on the console.
bool make_test_files(ConsolePrinter& printer, Generator& generator,
                     const std::string& work_directory, std::int64_t file_kib,
                     std::int32_t file_count);

// The words drawn for each test file of `file_kib` KiB (0 or more): each file
// gets content of its own, drawn only as far as its largest write reaches,
// min(size, 1 MiB). The rest of the file repeats those bytes: each whole MiB
// all of them, the remainder their beginning.
std::uint32_t words_per_file(std::int64_t file_kib);

// Fills the first `words` 16-bit words of `buffer` from the generator: the low
// 8 bits of each draw go into both bytes of the word.
void fill_words(Generator& generator, unsigned char* buffer, std::uint32_t words);

// The same bytes drawn from a generator state of the caller's: fills the
// words as fill_words would from `state` and returns the state after the
// last draw.
std::uint32_t fill_words_from(std::uint32_t state, unsigned char* buffer, std::uint32_t words);
