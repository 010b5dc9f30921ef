// The Linux file layer under system calls that fail or move fewer bytes, put
// in place through its call table: no root and no volume that really fails.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/files.h"
#include "platform/linux/linux_calls.h"
#include "platform/memory.h"
#include "tests/platform/scratch.h"

namespace {

using scratch::ScratchTest;

// What one scripted call does: fail with `error`, or pass at most `most`
// bytes (0: all) on to the system's call, or (a read) find the file's end.
struct Step {
  int error = 0;
  size_t most = 0;
  bool ends = false;  // a read that finds the end of the file here
};

std::deque<Step> g_reads;
std::deque<Step> g_writes;
std::deque<Step> g_closes;
// The lengths asked of every read, scripted or not.
std::vector<size_t> g_read_lengths;

// Takes the next step; false when the script is used up.
bool next_step(std::deque<Step>& script, Step& step) {
  if (script.empty()) return false;
  step = script.front();
  script.pop_front();
  return true;
}

size_t limited(size_t length, const Step& step) {
  return step.most != 0 && step.most < length ? step.most : length;
}

ssize_t scripted_read(int fd, void* buffer, size_t length) {
  g_read_lengths.push_back(length);
  Step step;
  if (!next_step(g_reads, step)) return system_linux_calls().read(fd, buffer, length);
  if (step.error != 0) return errno = step.error, -1;
  if (step.ends) return 0;
  return system_linux_calls().read(fd, buffer, limited(length, step));
}

ssize_t scripted_write(int fd, const void* buffer, size_t length) {
  Step step;
  if (!next_step(g_writes, step)) return system_linux_calls().write(fd, buffer, length);
  if (step.error != 0) return errno = step.error, -1;
  return system_linux_calls().write(fd, buffer, limited(length, step));
}

// The errors the next calls of fsync, sync_file_range, lseek and unlinkat
// fail with (0: the system's call goes through).
std::deque<int> g_fsyncs;
std::deque<int> g_write_outs;
std::deque<int> g_seeks;
std::deque<int> g_unlinks;

// Takes the next scripted error; 0 when there is none.
int next_error(std::deque<int>& script) {
  if (script.empty()) return 0;
  const int error = script.front();
  script.pop_front();
  return error;
}

int scripted_fsync(int fd) {
  if (const int error = next_error(g_fsyncs)) return errno = error, -1;
  return system_linux_calls().fsync(fd);
}

int scripted_sync_file_range(int fd, off64_t offset, off64_t length, unsigned int flags) {
  if (const int error = next_error(g_write_outs)) return errno = error, -1;
  return system_linux_calls().sync_file_range(fd, offset, length, flags);
}

off_t scripted_lseek(int fd, off_t offset, int whence) {
  if (const int error = next_error(g_seeks)) return errno = error, -1;
  return system_linux_calls().lseek(fd, offset, whence);
}

int scripted_unlinkat(int directory, const char* path, int flags) {
  if (const int error = next_error(g_unlinks)) return errno = error, -1;
  return system_linux_calls().unlinkat(directory, path, flags);
}

// As on Linux, the descriptor is released even when the close fails.
int scripted_close(int fd) {
  Step step;
  const int closed = system_linux_calls().close(fd);
  if (!next_step(g_closes, step) || step.error == 0) return closed;
  return errno = step.error, -1;
}

// Descriptors this process has open.
int open_descriptors() {
  DIR* listing = ::opendir("/proc/self/fd");
  if (listing == nullptr) return -1;
  int count = 0;
  while (::readdir(listing) != nullptr) ++count;
  ::closedir(listing);
  return count;
}

class SystemCallFaults : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    g_reads.clear();
    g_writes.clear();
    g_closes.clear();
    g_read_lengths.clear();
    linux_calls().read = scripted_read;
    linux_calls().write = scripted_write;
    linux_calls().close = scripted_close;
    linux_calls().fsync = scripted_fsync;
    linux_calls().sync_file_range = scripted_sync_file_range;
    linux_calls().lseek = scripted_lseek;
    linux_calls().unlinkat = scripted_unlinkat;
    for (auto* script : {&g_fsyncs, &g_write_outs, &g_seeks, &g_unlinks}) script->clear();
    buffer_ = static_cast<unsigned char*>(allocate_io_buffer(kBytes));
    ASSERT_NE(buffer_, nullptr);
    for (std::uint32_t i = 0; i < kBytes; ++i) buffer_[i] = static_cast<unsigned char>(i * 7 + 3);
  }
  void TearDown() override {
    linux_calls() = system_linux_calls();
    release_io_buffer(buffer_);
    ScratchTest::TearDown();
  }
  FileHandle open_new(const char* name) {
    return open_unbuffered(std::string("C:\\") + name, FileAccess::ReadWrite,
                           FileDisposition::CreateNew);
  }
  std::string expected() const { return std::string(reinterpret_cast<char*>(buffer_), kBytes); }

  static constexpr std::uint32_t kBytes = 65536;
  unsigned char* buffer_ = nullptr;
};

TEST_F(SystemCallFaults, InterruptedAndShortTransfersAreCarriedOnToTheFullLength) {
  const FileHandle file = open_new("a.dat");
  ASSERT_NE(file, kInvalidFile);
  g_writes = {{EINTR}, {0, 4096}, {EINTR}, {0, 512}};
  EXPECT_TRUE(write_file(file, buffer_, kBytes));
  EXPECT_TRUE(g_writes.empty());
  close_file(file);
  EXPECT_EQ(scratch::read_bytes(dir_ + "/a.dat"), expected());

  const FileHandle in =
      open_unbuffered("C:\\a.dat", FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(in, kInvalidFile);
  auto* back = static_cast<unsigned char*>(allocate_io_buffer(kBytes));
  g_reads = {{EINTR}, {0, 4096}, {EINTR}};
  EXPECT_TRUE(read_file(in, back, kBytes));
  EXPECT_EQ(std::memcmp(back, buffer_, kBytes), 0);
  release_io_buffer(back);
  close_file(in);
}

TEST_F(SystemCallFaults, DirectIoRefusedInTheMiddleGoesOnThroughTheCache) {
  const FileHandle file = open_new("b.dat");
  ASSERT_NE(file, kInvalidFile);
  take_cached_transfer_length();
  g_writes = {{EINVAL}};
  EXPECT_TRUE(write_file(file, buffer_, kBytes));
  EXPECT_EQ(take_cached_transfer_length(), kBytes);
  // Out of direct mode, an EINVAL has another cause: a failure with its reason.
  g_writes = {{EINVAL}};
  const Outcome second = write_file(file, buffer_, kBytes);
  EXPECT_FALSE(second);
  EXPECT_EQ(second.reason, std::strerror(EINVAL));
  close_file(file);
  EXPECT_EQ(scratch::read_bytes(dir_ + "/b.dat"), expected());
}

TEST_F(SystemCallFaults, FailedTransfersTellTheSystemsReason) {
  // Content enough for every read below to find bytes.
  scratch::write_bytes(dir_ + "/c.dat", std::string(4 * kBytes, 'c'));
  const FileHandle file =
      open_unbuffered("C:\\c.dat", FileAccess::ReadWrite, FileDisposition::OpenExisting);
  ASSERT_NE(file, kInvalidFile);
  struct Case {
    std::deque<Step>* script;
    int error;
    const char* operation;
  } cases[] = {{&g_writes, ENOSPC, "write"}, {&g_writes, EIO, "write"}, {&g_reads, EIO, "read"}};
  for (const Case& c : cases) {
    *c.script = {{0, 1024}, {c.error}};  // the error comes after part of the transfer
    const Outcome outcome = c.script == &g_writes ? write_file(file, buffer_, kBytes)
                                                  : read_file(file, buffer_, kBytes);
    EXPECT_FALSE(outcome) << c.operation << " " << c.error;
    EXPECT_EQ(outcome.operation, c.operation);
    EXPECT_EQ(outcome.reason, std::strerror(c.error));
  }
  close_file(file);
}

// A flush or write-out that says the data did not reach the medium fails
// with the system's reason; one the volume cannot do at all is no failure;
// an interrupted one is asked again. Seeks and deletes tell their failures.
TEST_F(SystemCallFaults, FlushesWriteOutsSeeksAndDeletesTellTheirFailures) {
  const FileHandle file = open_new("e.dat");
  ASSERT_NE(file, kInvalidFile);
  ASSERT_TRUE(write_file(file, buffer_, kBytes));
  struct Case {
    int error;
    bool fails;
  } cases[] = {{EIO, true}, {ENOSPC, true}, {EDQUOT, true}, {EINVAL, false}, {ENOTSUP, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::strerror(c.error));
    g_fsyncs = {EINTR, c.error};
    const Outcome flushed = flush_file(file);
    EXPECT_EQ(static_cast<bool>(flushed), !c.fails);
    EXPECT_TRUE(g_fsyncs.empty()) << "asked again after EINTR";
    g_write_outs = {c.error};
    bool offered = false;
    const Outcome written_out = write_out_data(file, offered);
    EXPECT_TRUE(offered);
    EXPECT_EQ(static_cast<bool>(written_out), !c.fails);
    if (c.fails) {
      EXPECT_EQ(flushed.operation, "flush");
      EXPECT_EQ(flushed.reason, std::strerror(c.error));
      EXPECT_EQ(written_out.operation, "write out");
      EXPECT_EQ(written_out.reason, std::strerror(c.error));
    }
  }
  g_seeks = {EIO};
  EXPECT_EQ(set_read_position(file, 4096).reason, std::strerror(EIO));
  EXPECT_TRUE(set_read_position(file, 4096));
  close_file(file);
}

TEST_F(SystemCallFaults, WholeFileCopiesResumeRecoverOrFailWithTheReason) {
  scratch::write_bytes(dir_ + "/from.dat", expected());
  // Interrupted and short reads and writes are carried on to the end.
  g_reads = {{EINTR}, {0, 1000}, {EINTR}, {0, 3000}};
  g_writes = {{EINTR}, {0, 100}};
  EXPECT_TRUE(copy_whole_file("C:\\from.dat", "C:\\to.dat"));
  EXPECT_TRUE(g_reads.empty() && g_writes.empty());
  EXPECT_EQ(scratch::read_bytes(dir_ + "/to.dat"), expected());

  // A full volume stops it, naming the copy.
  g_writes = {{0, 3000}, {ENOSPC}};
  const Outcome full = copy_whole_file("C:\\from.dat", "C:\\full.dat");
  EXPECT_FALSE(full);
  EXPECT_EQ(full.operation, "copy to");
  EXPECT_EQ(full.path, "./full.dat");
  EXPECT_EQ(full.reason, std::strerror(ENOSPC));

  // So does a read error, naming the source.
  g_reads = {{0, 5000}, {EIO}};
  const Outcome unreadable = copy_whole_file("C:\\from.dat", "C:\\unreadable.dat");
  EXPECT_FALSE(unreadable);
  EXPECT_EQ(unreadable.operation, "read");
  EXPECT_EQ(unreadable.path, "./from.dat");
  EXPECT_EQ(unreadable.reason, std::strerror(EIO));

  // A source that ends before its length was cut short while it was copied.
  g_reads = {{0, 5000}, {0, 0, true}};
  const Outcome cut = copy_whole_file("C:\\from.dat", "C:\\cut.dat");
  EXPECT_FALSE(cut);
  EXPECT_EQ(cut.operation, "copy from");
  EXPECT_EQ(cut.path, "./from.dat");
  EXPECT_EQ(cut.reason, "ended after 5000 of 65536 bytes");

  // An existing destination is not written into, and says so.
  scratch::write_bytes(dir_ + "/long.dat", std::string(2 * kBytes, 'L'));
  const Outcome kept = copy_whole_file("C:\\from.dat", "C:\\long.dat");
  EXPECT_FALSE(kept);
  EXPECT_EQ(kept.operation, "create");
  EXPECT_EQ(kept.path, "./long.dat");
  EXPECT_EQ(kept.reason, std::strerror(EEXIST));
  EXPECT_EQ(scratch::read_bytes(dir_ + "/long.dat"), std::string(2 * kBytes, 'L'));
}

TEST_F(SystemCallFaults, WholeFileCopiesReadInPiecesOfCpsSize) {
  // cp's rule: at least 128 KiB, and a multiple of the file system's block.
  struct stat volume;
  ASSERT_EQ(::stat(dir_.c_str(), &volume), 0);
  size_t piece = 128 * 1024;
  while (piece < static_cast<size_t>(volume.st_blksize)) piece *= 2;
  const std::string content = expected() + expected() + expected() + expected() + "tail";
  scratch::write_bytes(dir_ + "/from.dat", content);
  ASSERT_TRUE(copy_whole_file("C:\\from.dat", "C:\\to.dat"));
  EXPECT_EQ(scratch::read_bytes(dir_ + "/to.dat"), content);
  ASSERT_FALSE(g_read_lengths.empty());
  for (size_t length : g_read_lengths) EXPECT_EQ(length, piece);
  EXPECT_EQ(g_read_lengths.size(), content.size() / piece + 2) << "to the end of the file";
}

TEST_F(SystemCallFaults, WholeFileCopiesTellAFailedCloseAndCloseBothFilesOnce) {
  scratch::write_bytes(dir_ + "/from.dat", expected());
  const int before = open_descriptors();
  // A file system may tell of a failed write only when the file is closed.
  g_closes = {{EIO}};
  const Outcome destination = copy_whole_file("C:\\from.dat", "C:\\to.dat");
  EXPECT_FALSE(destination);
  EXPECT_EQ(destination.operation, "close");
  EXPECT_EQ(destination.path, "./to.dat");
  EXPECT_EQ(destination.reason, std::strerror(EIO));
  g_closes = {{0}, {EIO}};
  const Outcome source = copy_whole_file("C:\\from.dat", "C:\\to2.dat");
  EXPECT_FALSE(source);
  EXPECT_EQ(source.operation, "close");
  EXPECT_EQ(source.path, "./from.dat");
  // The first failure is the one told.
  g_writes = {{ENOSPC}};
  g_closes = {{EIO}, {EIO}};
  EXPECT_EQ(copy_whole_file("C:\\from.dat", "C:\\to3.dat").reason, std::strerror(ENOSPC));
  // An interrupted close has released its descriptor: no failure, no second close.
  g_closes = {{EINTR}, {EINTR}, {EBADF}};
  EXPECT_TRUE(copy_whole_file("C:\\from.dat", "C:\\to4.dat"));
  EXPECT_EQ(g_closes.size(), 1u) << "each file closed once";
  EXPECT_EQ(open_descriptors(), before);
  EXPECT_EQ(scratch::read_bytes(dir_ + "/to4.dat"), expected());

  // A file opened for the benchmark's own transfers is closed through the
  // same call, once.
  g_closes = {{EIO}, {EBADF}};
  const FileHandle file = open_new("d.dat");
  ASSERT_NE(file, kInvalidFile);
  close_file(file);
  EXPECT_EQ(g_closes.size(), 1u);
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
