// The Linux file layer under system calls that fail or move fewer bytes, put
// in place through its call table: no root and no volume that really fails.
#include <cerrno>
#include <cstring>
#include <deque>

#include "platform/files.h"
#include "platform/linux/linux_calls.h"
#include "platform/memory.h"
#include "tests/platform/scratch.h"

namespace {

using scratch::ScratchTest;

// What one scripted call does: fail with `error`, or pass at most `most`
// bytes (0: all) on to the system's call.
struct Step {
  int error = 0;
  size_t most = 0;
};

std::deque<Step> g_reads;
std::deque<Step> g_writes;
std::deque<Step> g_sendfiles;

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
  Step step;
  if (!next_step(g_reads, step)) return system_linux_calls().read(fd, buffer, length);
  if (step.error != 0) return errno = step.error, -1;
  return system_linux_calls().read(fd, buffer, limited(length, step));
}

ssize_t scripted_write(int fd, const void* buffer, size_t length) {
  Step step;
  if (!next_step(g_writes, step)) return system_linux_calls().write(fd, buffer, length);
  if (step.error != 0) return errno = step.error, -1;
  return system_linux_calls().write(fd, buffer, limited(length, step));
}

ssize_t scripted_sendfile(int to, int from, off_t* offset, size_t length) {
  Step step;
  if (!next_step(g_sendfiles, step))
    return system_linux_calls().sendfile(to, from, offset, length);
  if (step.error != 0) return errno = step.error, -1;
  return system_linux_calls().sendfile(to, from, offset, limited(length, step));
}

class SystemCallFaults : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    g_reads.clear();
    g_writes.clear();
    g_sendfiles.clear();
    linux_calls().read = scripted_read;
    linux_calls().write = scripted_write;
    linux_calls().sendfile = scripted_sendfile;
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
                           FileDisposition::CreateAlways);
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

TEST_F(SystemCallFaults, WholeFileCopiesResumeRecoverOrFailWithTheReason) {
  scratch::write_bytes(dir_ + "/from.dat", expected());
  // Interrupted and partial kernel copies are resumed.
  g_sendfiles = {{EINTR}, {0, 1000}, {EINTR}};
  EXPECT_TRUE(copy_whole_file("C:\\from.dat", "C:\\to.dat"));
  EXPECT_EQ(scratch::read_bytes(dir_ + "/to.dat"), expected());

  // No kernel copy for these files: reads and writes take over where it stopped.
  g_sendfiles = {{0, 3000}, {EINVAL}};
  g_writes = {{EINTR}, {0, 100}};
  EXPECT_TRUE(copy_whole_file("C:\\from.dat", "C:\\to.dat"));
  EXPECT_EQ(scratch::read_bytes(dir_ + "/to.dat"), expected());

  // A full volume stops it, naming the copy.
  g_sendfiles = {{0, 3000}, {ENOSPC}};
  const Outcome full = copy_whole_file("C:\\from.dat", "C:\\to.dat");
  EXPECT_FALSE(full);
  EXPECT_EQ(full.path, "./to.dat");
  EXPECT_EQ(full.reason, std::strerror(ENOSPC));

  // So does a read error in the fallback, naming the source.
  g_sendfiles = {{EXDEV}};
  g_reads = {{EIO}};
  const Outcome unreadable = copy_whole_file("C:\\from.dat", "C:\\to.dat");
  EXPECT_FALSE(unreadable);
  EXPECT_EQ(unreadable.operation, "read");
  EXPECT_EQ(unreadable.path, "./from.dat");
  EXPECT_EQ(unreadable.reason, std::strerror(EIO));
}

}  // namespace
