#include "tests/platform/scratch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "trials/pseudo_random.h"

namespace scratch {

bool running_under_ci() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

std::string make_directory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                        "/varno_platform_XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) return "";
  return name.data();
}

void remove_all(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
}

std::string read_bytes(const std::string& path, bool* ok) {
  std::string bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (ok != nullptr) *ok = fd >= 0;
  if (fd < 0) return bytes;
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && ok != nullptr) *ok = false;
    if (n <= 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

void write_bytes(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

bool exists(const std::string& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0;
}

std::int64_t file_size(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return -1;
  return status.st_size;
}

std::size_t cached_pages(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat status;
  std::size_t resident = 0;
  if (::fstat(fd, &status) == 0 && status.st_size > 0) {
    const auto length = static_cast<std::size_t>(status.st_size);
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    if (map != MAP_FAILED) {
      const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
      std::vector<unsigned char> pages((length + page - 1) / page);
      if (::mincore(map, length, pages.data()) == 0)
        for (unsigned char p : pages) resident += p & 1u;
      ::munmap(map, length);
    }
  }
  ::close(fd);
  return resident;
}

std::string expected_test_file(std::uint32_t& state, std::int64_t file_kib) {
  const std::int64_t whole_mib = file_kib / 1024;
  const std::int64_t remainder_kib = file_kib % 1024;
  const std::size_t pattern_bytes =
      whole_mib != 0 ? 1048576u : static_cast<std::size_t>(remainder_kib) * 1024u;
  std::string pattern(pattern_bytes, '\0');
  for (std::size_t i = 0; i < pattern_bytes; i += 2) {
    state = next_state(state);
    pattern[i] = pattern[i + 1] = static_cast<char>(drawn_byte(state));
  }
  std::string file;
  for (std::int64_t n = 0; n < whole_mib; ++n) file += pattern;
  file += pattern.substr(0, static_cast<std::size_t>(remainder_kib) * 1024u);
  return file;
}

::testing::AssertionResult test_files_match(const std::string& directory, int count,
                                            std::uint32_t seed, std::int64_t file_kib) {
  std::uint32_t state = seed;
  for (int i = 0; i < count; ++i) {
    const std::string path = directory + "/test" + std::to_string(i) + ".dat";
    bool read = false;
    const std::string bytes = read_bytes(path, &read);
    if (!read) return ::testing::AssertionFailure() << path << " cannot be read";
    if (static_cast<std::int64_t>(bytes.size()) != file_kib * 1024)
      return ::testing::AssertionFailure() << path << " holds " << bytes.size() << " bytes";
    const std::string expected = expected_test_file(state, file_kib);
    if (bytes != expected) {
      std::size_t at = 0;
      while (bytes[at] == expected[at]) ++at;
      return ::testing::AssertionFailure() << path << " differs at byte " << at;
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult copies_match(const std::string& directory, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string source_path = directory + "/test" + std::to_string(i) + ".dat";
    const std::string copy_path = directory + "/copy" + std::to_string(i) + ".dat";
    bool source_read = false;
    bool copy_read = false;
    const std::string source = read_bytes(source_path, &source_read);
    const std::string copy = read_bytes(copy_path, &copy_read);
    if (!source_read || !copy_read)
      return ::testing::AssertionFailure() << source_path << " or " << copy_path << " unreadable";
    if (copy != source)
      return ::testing::AssertionFailure()
             << copy_path << " (" << copy.size() << " bytes) differs from " << source_path
             << " (" << source.size() << " bytes)";
  }
  return ::testing::AssertionSuccess();
}

std::vector<std::string> work_directories(const std::string& directory) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.rfind("Varnoquelbit", 0) == 0) names.push_back(name);
  }
  ::closedir(listing);
  return names;
}

bool run(const std::string& command, std::string* output) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return false;
  std::string text;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) text.append(chunk, n);
  const int status = ::pclose(pipe);
  if (output != nullptr) *output = text;
  return status == 0;
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool mount_table_holds(const std::string& path) {
  return run("findmnt -n --target '" + path + "'");
}

ConsoleCapture::ConsoleCapture() : saved_(std::cout.rdbuf(captured_.rdbuf())) {}
ConsoleCapture::~ConsoleCapture() { std::cout.rdbuf(saved_); }

void ScratchTest::SetUp() {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  previous_ = cwd;
  dir_ = make_directory();
  ASSERT_FALSE(dir_.empty()) << "mkdtemp failed";
  ASSERT_EQ(::chdir(dir_.c_str()), 0);
}

void ScratchTest::TearDown() {
  if (!previous_.empty()) {
    EXPECT_EQ(::chdir(previous_.c_str()), 0);
  }
  if (!dir_.empty()) remove_all(dir_);
}

}  // namespace scratch
