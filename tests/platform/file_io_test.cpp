// Unbuffered file transfers on the scratch volume: exact round trips, end of
// file, failures, and data that is on the medium rather than in the cache.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

#include "platform/files.h"
#include "platform/memory.h"
#include "tests/platform/scratch.h"

namespace {

using scratch::ScratchTest;

std::string pattern_bytes(std::size_t length, unsigned seed) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i)
    bytes[i] = static_cast<char>((i * 131u + seed * 7u + (i >> 9)) & 0xffu);
  return bytes;
}

class UnbufferedFiles : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    buffer_ = static_cast<unsigned char*>(allocate_io_buffer(kBufferBytes));
    ASSERT_NE(buffer_, nullptr);
  }
  void TearDown() override {
    release_io_buffer(buffer_);
    ScratchTest::TearDown();
  }
  static constexpr std::uint32_t kBufferBytes = 131072;
  unsigned char* buffer_ = nullptr;
};

TEST_F(UnbufferedFiles, WritesAndReadsBackExactLengths) {
  const std::uint32_t lengths[] = {0, 1024, 4096, 65536};
  std::string written;
  const FileHandle out =
      open_unbuffered("C:\\round.dat", FileAccess::Write, FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  for (std::uint32_t length : lengths) {
    const std::string piece = pattern_bytes(length, length);
    std::memcpy(buffer_, piece.data(), length);
    EXPECT_TRUE(write_file(out, buffer_, length)) << length;
    written += piece;
  }
  flush_file(out);
  close_file(out);
  EXPECT_EQ(scratch::read_bytes(dir_ + "/round.dat"), written);

  const FileHandle in =
      open_unbuffered("C:\\round.dat", FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(in, kInvalidFile);
  std::string read_back;
  for (std::uint32_t length : lengths) {
    std::memset(buffer_, 0, kBufferBytes);
    EXPECT_TRUE(read_file(in, buffer_, length)) << length;
    read_back.append(reinterpret_cast<char*>(buffer_), length);
  }
  EXPECT_EQ(read_back, written);
  close_file(in);
}

// A read of exactly `length` bytes fails where the file ends first, with the
// bytes that were there; a counted read succeeds with them.
TEST_F(UnbufferedFiles, ReadPastEndOfFileIsAShortReadUnlessCounted) {
  const std::string content = pattern_bytes(5120, 3);
  scratch::write_bytes(dir_ + "/short.dat", content);
  const FileHandle in =
      open_unbuffered("C:\\short.dat", FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(in, kInvalidFile);
  std::memset(buffer_, 0xAA, kBufferBytes);
  const Outcome read = read_file(in, buffer_, 65536);
  EXPECT_FALSE(read);
  EXPECT_EQ(read.reason, short_read(5120, 65536).reason);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer_), content.size()), content);
  // At end of file a counted read succeeds with nothing, as does a read of 0.
  std::uint32_t got = 1;
  EXPECT_TRUE(read_file_counted(in, buffer_, 4096, got));
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(read_file(in, buffer_, 1024));
  EXPECT_TRUE(read_file(in, buffer_, 0));
  close_file(in);
}

TEST_F(UnbufferedFiles, FilesAreOpenedWithCacheBypass) {
  const FileHandle out =
      open_unbuffered("C:\\direct.dat", FileAccess::ReadWrite, FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  const int flags = ::fcntl(static_cast<int>(out), F_GETFL);
  EXPECT_NE(flags & O_DIRECT, 0);
  EXPECT_EQ(flags & O_ACCMODE, O_RDWR);
  EXPECT_NE(::fcntl(static_cast<int>(out), F_GETFD) & FD_CLOEXEC, 0);
  close_file(out);
}

TEST_F(UnbufferedFiles, FlushedDataIsNotLeftInThePageCache) {
  // An unaligned buffer is refused for direct I/O, so this write takes the
  // buffered way; after the flush its pages must be gone from the cache.
  const FileHandle out =
      open_unbuffered("C:\\flushed.dat", FileAccess::Write, FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  const std::string content = pattern_bytes(65536, 9);
  std::memcpy(buffer_ + 1, content.data(), content.size());
  EXPECT_TRUE(write_file(out, buffer_ + 1, 65536));
  EXPECT_EQ(::fcntl(static_cast<int>(out), F_GETFL) & O_DIRECT, 0);
  EXPECT_GT(scratch::cached_pages(dir_ + "/flushed.dat"), 0u);
  flush_file(out);
  EXPECT_EQ(scratch::cached_pages(dir_ + "/flushed.dat"), 0u);
  close_file(out);
  EXPECT_EQ(scratch::read_bytes(dir_ + "/flushed.dat"), content);
}

TEST_F(UnbufferedFiles, CreateNewNeverOpensAnExistingNameAndOpenExistingNeedsAFile) {
  EXPECT_EQ(open_unbuffered("C:\\missing.dat", FileAccess::Read, FileDisposition::OpenExisting),
            kInvalidFile);
  EXPECT_EQ(open_unbuffered("C:\\missing.dat", FileAccess::Write, FileDisposition::OpenExisting),
            kInvalidFile);
  EXPECT_FALSE(scratch::exists(dir_ + "/missing.dat"));

  // Names already there: a file, links to a file of someone else's (symbolic
  // and hard), a link to nowhere.
  const std::string theirs(10000, 'x');
  scratch::write_bytes(dir_ + "/old.dat", theirs);
  scratch::write_bytes(dir_ + "/theirs.dat", theirs);
  ASSERT_EQ(::symlink((dir_ + "/theirs.dat").c_str(), (dir_ + "/link.dat").c_str()), 0);
  ASSERT_EQ(::link((dir_ + "/theirs.dat").c_str(), (dir_ + "/hard.dat").c_str()), 0);
  ASSERT_EQ(::symlink((dir_ + "/made.dat").c_str(), (dir_ + "/dangling.dat").c_str()), 0);
  for (const char* taken : {"old.dat", "link.dat", "hard.dat", "dangling.dat"}) {
    Outcome failed;
    EXPECT_EQ(open_unbuffered(std::string("C:\\") + taken, FileAccess::Write,
                              FileDisposition::CreateNew, &failed),
              kInvalidFile)
        << taken;
    EXPECT_EQ(failed.operation, "create") << taken;
    EXPECT_EQ(failed.reason, std::strerror(EEXIST)) << taken;
  }
  EXPECT_EQ(scratch::read_bytes(dir_ + "/old.dat"), theirs);
  EXPECT_EQ(scratch::read_bytes(dir_ + "/theirs.dat"), theirs);
  EXPECT_FALSE(scratch::exists(dir_ + "/made.dat"));
  // A link is not opened to be read either.
  Outcome failed;
  EXPECT_EQ(open_unbuffered("C:\\link.dat", FileAccess::Read, FileDisposition::OpenExisting,
                            &failed),
            kInvalidFile);
  EXPECT_EQ(failed.reason, std::strerror(ELOOP));

  const FileHandle out =
      open_unbuffered("C:\\new.dat", FileAccess::Write, FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  std::memset(buffer_, 'y', 1024);
  EXPECT_TRUE(write_file(out, buffer_, 1024));
  close_file(out);
  EXPECT_EQ(scratch::read_bytes(dir_ + "/new.dat"), std::string(1024, 'y'));
}

TEST_F(UnbufferedFiles, TransfersAgainstTheAccessModeFail) {
  scratch::write_bytes(dir_ + "/modes.dat", std::string(4096, 'm'));
  const FileHandle reader =
      open_unbuffered("C:\\modes.dat", FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(reader, kInvalidFile);
  EXPECT_FALSE(write_file(reader, buffer_, 4096));
  close_file(reader);
  const FileHandle writer =
      open_unbuffered("C:\\modes.dat", FileAccess::Write, FileDisposition::OpenExisting);
  ASSERT_NE(writer, kInvalidFile);
  EXPECT_FALSE(read_file(writer, buffer_, 4096));
  // Even an empty transfer looks at the descriptor.
  EXPECT_FALSE(read_file(writer, buffer_, 0));
  EXPECT_TRUE(write_file(writer, buffer_, 0));
  close_file(writer);
  EXPECT_FALSE(read_file(kInvalidFile, buffer_, 0));
  EXPECT_FALSE(write_file(kInvalidFile, buffer_, 0));
  EXPECT_EQ(scratch::read_bytes(dir_ + "/modes.dat"), std::string(4096, 'm'));
}

TEST_F(UnbufferedFiles, CompressionOffLeavesTheFileUsableAndUncompressed) {
  const FileHandle out =
      open_unbuffered("C:\\plain.dat", FileAccess::ReadWrite, FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  set_compression_off(out);
  int flags = 0;
  if (::ioctl(static_cast<int>(out), FS_IOC_GETFLAGS, &flags) == 0) {
    EXPECT_EQ(flags & FS_COMPR_FL, 0);
  }
  std::memset(buffer_, 'z', 4096);
  EXPECT_TRUE(write_file(out, buffer_, 4096));
  close_file(out);
  set_compression_off(kInvalidFile);  // silently nothing
  EXPECT_EQ(scratch::read_bytes(dir_ + "/plain.dat"), std::string(4096, 'z'));
}

TEST(IoBuffers, AreAlignedToThePageForEverySize) {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  void* empty = allocate_io_buffer(0);
  void* other_empty = allocate_io_buffer(0);
  void* small = allocate_io_buffer(1);
  void* large = allocate_io_buffer(1048576);
  for (void* buffer : {empty, other_empty, small, large}) {
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer) % page, 0u);
  }
  EXPECT_NE(empty, other_empty);
  std::memset(large, 0x5a, 1048576);
  for (void* buffer : {empty, other_empty, small, large}) release_io_buffer(buffer);
  release_io_buffer(nullptr);
}

}  // namespace
