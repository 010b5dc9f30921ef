// Helpers for tests of the POSIX platform layer on real file systems.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "console/console_printer.h"

namespace scratch {

// Environment problems skip a test, except under CI (CI=true), where every
// test must run: there they fail.
bool running_under_ci();
#define SKIP_UNLESS_CI(reason)                                  \
  do {                                                          \
    if (::scratch::running_under_ci()) {                        \
      FAIL() << "CI=true, cannot skip: " << (reason);           \
    } else {                                                    \
      GTEST_SKIP() << (reason);                                 \
    }                                                           \
  } while (0)

// A fresh directory under $TMPDIR (or /tmp); "" on failure.
std::string make_directory();
// Deletes a tree without following symbolic links.
void remove_all(const std::string& path);

// Whole file contents with plain read(); `ok` false when it cannot be read.
std::string read_bytes(const std::string& path, bool* ok = nullptr);
void write_bytes(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);
// Deletes a file (a POSIX path) with plain unlink().
bool remove_file(const std::string& path);
std::int64_t file_size(const std::string& path);  // -1 when missing

// Pages of the file held in the page cache.
std::size_t cached_pages(const std::string& path);

// The bytes of a test file of `file_kib` KiB that the generator writes
// from `state`, worked out here independently; advances `state`.
std::string expected_test_file(std::uint32_t& state, std::int64_t file_kib);

// Checks test files 0 to count - 1 in `directory` (a POSIX path): each of
// file_kib KiB, holding the generator's bytes from `seed` onwards.
::testing::AssertionResult test_files_match(const std::string& directory, int count,
                                            std::uint32_t seed, std::int64_t file_kib);
// Checks that copy file i holds exactly what test file i holds, for i below count.
::testing::AssertionResult copies_match(const std::string& directory, int count);

// Names in `directory` that begin with "Varnoquelbit".
std::vector<std::string> work_directories(const std::string& directory);

// Whether the system's mount table, as findmnt reads it, lists a mount that
// holds the path: not so in a chroot whose root directory is no mount.
bool mount_table_holds(const std::string& path);

// Runs a shell command; its standard output and error go to `output`.
bool run(const std::string& command, std::string* output = nullptr);

// Captures what is written to std::cout (the console) while it lives.
class ConsoleCapture {
 public:
  ConsoleCapture();
  ~ConsoleCapture();
  std::string text() const { return captured_.str(); }

 private:
  std::ostringstream captured_;
  std::streambuf* saved_;
};

// A scratch directory that is also the current directory while a test runs.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string dir_;       // absolute path of the scratch directory
  std::string previous_;  // the current directory before the test
  // The printer the trials write their notes through.
  ConsolePrinter printer;
};

}  // namespace scratch
