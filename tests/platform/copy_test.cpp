// The whole-file copy: identical copies, replacement, and clean failures.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/files.h"
#include "tests/platform/scratch.h"

namespace {

using scratch::ScratchTest;

std::string varied_bytes(std::size_t length) {
  std::string bytes(length, '\0');
  std::uint32_t state = static_cast<std::uint32_t>(length) + 17u;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 23);
  }
  return bytes;
}

class WholeFileCopy : public ScratchTest {};

// What a copy told its hook: the bytes copied after each piece.
bool note_piece(void* context, std::uint64_t copied) {
  static_cast<std::vector<std::uint64_t>*>(context)->push_back(copied);
  return true;
}

TEST_F(WholeFileCopy, CopiesAreIdenticalForSmallAndLargeFiles) {
  // Around the copy buffer of 128 KiB (or the volume's block, if larger):
  // empty, short of it, exactly it, just past it, and not a multiple of it.
  const std::size_t sizes[] = {0,          1,           1024,        5120,
                               131072,     131073,      1048577,     3 * 1048576 + 4096};
  for (std::size_t size : sizes) {
    const std::string content = varied_bytes(size);
    scratch::write_bytes(dir_ + "/from.dat", content);
    ::unlink((dir_ + "/to.dat").c_str());
    std::vector<std::uint64_t> told;
    ASSERT_TRUE(copy_whole_file("C:\\from.dat", "C:\\to.dat", {note_piece, &told})) << size;
    EXPECT_EQ(scratch::read_bytes(dir_ + "/to.dat"), content) << size;
    // Growing counts of this file's bytes, the last of them the whole file.
    ASSERT_FALSE(told.empty()) << size;
    EXPECT_EQ(told.back(), size);
    for (std::size_t i = 1; i < told.size(); ++i) EXPECT_LT(told[i - 1], told[i]) << size;
  }
}

TEST_F(WholeFileCopy, NeverWritesIntoAnExistingNameOrThroughALink) {
  const std::string content = varied_bytes(70000);
  scratch::write_bytes(dir_ + "/from.dat", content);
  const std::string canary(200000, 'L');
  scratch::write_bytes(dir_ + "/to.dat", canary);
  scratch::write_bytes(dir_ + "/canary.dat", canary);
  ASSERT_EQ(::symlink((dir_ + "/canary.dat").c_str(), (dir_ + "/link.dat").c_str()), 0);
  ASSERT_EQ(::link((dir_ + "/canary.dat").c_str(), (dir_ + "/hard.dat").c_str()), 0);
  ASSERT_EQ(::symlink((dir_ + "/made.dat").c_str(), (dir_ + "/dangling.dat").c_str()), 0);
  for (const char* taken : {"to.dat", "link.dat", "hard.dat", "dangling.dat"}) {
    const Outcome copied = copy_whole_file("C:\\from.dat", std::string("C:\\") + taken);
    EXPECT_FALSE(copied) << taken;
    EXPECT_EQ(copied.operation, "create") << taken;
    EXPECT_EQ(copied.reason, std::strerror(EEXIST)) << taken;
  }
  EXPECT_EQ(scratch::read_bytes(dir_ + "/to.dat"), canary);
  EXPECT_EQ(scratch::read_bytes(dir_ + "/canary.dat"), canary);
  EXPECT_FALSE(scratch::exists(dir_ + "/made.dat")) << "nothing made at a dangling link's target";
  // A link as the source is not read through either.
  EXPECT_FALSE(copy_whole_file("C:\\link.dat", "C:\\new.dat"));
  EXPECT_FALSE(scratch::exists(dir_ + "/new.dat"));
}

TEST_F(WholeFileCopy, MissingSourceFailsWithoutCreatingTheDestination) {
  EXPECT_FALSE(copy_whole_file("C:\\absent.dat", "C:\\to.dat"));
  EXPECT_FALSE(scratch::exists(dir_ + "/to.dat"));
}

TEST_F(WholeFileCopy, UnwritableDestinationFailsAndTheSourceStays) {
  const std::string content = varied_bytes(4096);
  scratch::write_bytes(dir_ + "/from.dat", content);
  EXPECT_FALSE(copy_whole_file("C:\\from.dat", "C:\\no_such_dir\\to.dat"));
  ASSERT_EQ(::mkdir((dir_ + "/folder").c_str(), 0777), 0);
  EXPECT_FALSE(copy_whole_file("C:\\from.dat", "C:\\folder"));
  // A copy onto the source itself fails and leaves the source whole.
  EXPECT_FALSE(copy_whole_file("C:\\from.dat", "C:\\from.dat"));
  EXPECT_EQ(scratch::read_bytes(dir_ + "/from.dat"), content);
}

TEST_F(WholeFileCopy, CopiesAcrossFileSystems) {
  // The kernel copy refuses some pairs of file systems; the copy must still
  // arrive whole. /dev/shm is a memory file system on Linux.
  struct stat shm;
  if (::stat("/dev/shm", &shm) != 0 || !S_ISDIR(shm.st_mode) ||
      ::access("/dev/shm", W_OK) != 0)
    SKIP_UNLESS_CI("no writable /dev/shm for a second file system");
  const std::string content = varied_bytes(2 * 1048576 + 1000);
  scratch::write_bytes(dir_ + "/from.dat", content);
  const std::string other = "/dev/shm/varno_copy_" + std::to_string(::getpid()) + ".dat";
  const Outcome copied = copy_whole_file("C:\\from.dat", other);
  const std::string arrived = scratch::read_bytes(other);
  ::unlink(other.c_str());
  ASSERT_TRUE(copied);
  EXPECT_EQ(arrived, content);
}

}  // namespace
