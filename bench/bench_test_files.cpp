// Times the making of test files on a volume, and the fill generator alone.
//
//   bench_test_files files <directory> <file_kib> <file_count>
//     makes the test files in a fresh work directory below <directory>,
//     prints "seconds <s>" for make_test_files alone, then removes them.
//   bench_test_files raw <directory> <file_mib> <file_count> <fsync 0|1>
//     the volume's own cost for the same files: one pre-filled 1 MiB buffer
//     written with open, O_DIRECT writes, an optional fsync and close, with
//     no generator and no platform layer; prints "seconds <s>", then removes them.
//   bench_test_files fill <mib>
//     fills a 1 MiB buffer <mib> times and prints "seconds <s>" and "GB/s <r>".
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/clock.h"
#include "platform/directories.h"
#include "platform/memory.h"
#include "trials/pseudo_random.h"
#include "trials/pattern_files.h"
#include "trials/work_directory.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int time_test_files(const std::string& directory, std::int64_t file_kib, std::int32_t count) {
  const std::string work = directory + "\\VarnoquelbitBench" + std::to_string(calendar_seconds_now());
  if (!create_directory(work)) {
    std::cerr << "cannot create " << work << "\n";
    return 1;
  }
  Generator generator{static_cast<std::uint32_t>(calendar_seconds_now())};
  ConsolePrinter printer;
  const Clock::time_point start = Clock::now();
  const bool made = make_test_files(printer, generator, work, file_kib, count);
  const double seconds = seconds_since(start);
  remove_tree(work);
  if (!made) return 1;
  std::cout << "seconds " << seconds << "\n";
  return 0;
}

int time_raw_files(const std::string& directory, std::int64_t file_mib, std::int32_t count,
                   bool sync) {
  const std::string work = directory + "/VarnoquelbitRaw" + std::to_string(::getpid());
  if (::mkdir(work.c_str(), 0777) != 0) return 1;
  // Filled once, outside the timing: the volume sees data like the test
  // files' rather than zeros, which some storage stacks treat specially.
  void* data = allocate_io_buffer(kFillBufferBytes);
  Generator generator{7};
  fill_words(generator, static_cast<unsigned char*>(data), kFillBufferBytes / 2);
  bool ok = true;
  const Clock::time_point start = Clock::now();
  for (std::int32_t i = 0; ok && i < count; ++i) {
    const std::string path = work + "/test" + std::to_string(i) + ".dat";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_DIRECT, 0666);
    ok = fd >= 0;
    for (std::int64_t n = 0; ok && n < file_mib; ++n)
      ok = ::write(fd, data, kFillBufferBytes) == static_cast<ssize_t>(kFillBufferBytes);
    if (ok && sync) ok = ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
  }
  const double seconds = seconds_since(start);
  for (std::int32_t i = 0; i < count; ++i)
    ::unlink((work + "/test" + std::to_string(i) + ".dat").c_str());
  ::rmdir(work.c_str());
  release_io_buffer(data);
  if (!ok) return 1;
  std::cout << "seconds " << seconds << "\n";
  return 0;
}

int time_fill(std::int64_t mib) {
  auto* buffer = static_cast<unsigned char*>(allocate_io_buffer(kFillBufferBytes));
  if (buffer == nullptr) return 1;
  Generator generator{1};
  const Clock::time_point start = Clock::now();
  for (std::int64_t n = 0; n < mib; ++n) fill_words(generator, buffer, kFillBufferBytes / 2);
  const double seconds = seconds_since(start);
  // Reading the buffer keeps the fills from being optimised away.
  unsigned checksum = 0;
  for (std::uint32_t i = 0; i < kFillBufferBytes; i += 4096) checksum += buffer[i];
  release_io_buffer(buffer);
  std::cout << "seconds " << seconds << "\n"
            << "GB/s " << static_cast<double>(mib) * kFillBufferBytes / seconds / 1e9 << "\n"
            << "checksum " << checksum << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "files" && argc == 5)
    return time_test_files(argv[2], std::atoll(argv[3]), std::atoi(argv[4]));
  if (mode == "raw" && argc == 6)
    return time_raw_files(argv[2], std::atoll(argv[3]), std::atoi(argv[4]),
                          std::string(argv[5]) == "1");
  if (mode == "fill" && argc == 3) return time_fill(std::atoll(argv[2]));
  std::cerr << "usage: bench_test_files files <directory> <file_kib> <file_count>\n"
               "       bench_test_files raw <directory> <file_mib> <file_count> <fsync 0|1>\n"
               "       bench_test_files fill <mib>\n";
  return 2;
}
