// What every platform layer promises, written against the platform headers
// alone and linked with each layer: the Linux layer, the fake the unit
// tests run on, and the Windows layer (under wine). The fake is shown to
// behave as the real layers do wherever the logic relies on it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/directories.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/report_files.h"
#include "platform/volume.h"
#include "tests/contract/contract_root.h"

namespace {

constexpr std::uint32_t kBytes = 4096;

class PlatformContract : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = make_contract_root();
    ASSERT_FALSE(root_.empty()) << "no directory to work in";
    buffer_ = static_cast<unsigned char*>(allocate_io_buffer(kBytes));
    ASSERT_NE(buffer_, nullptr);
    for (std::uint32_t i = 0; i < kBytes; ++i) buffer_[i] = static_cast<unsigned char>(i % 251);
  }
  void TearDown() override {
    release_io_buffer(buffer_);
    remove_contract_root(root_);
  }
  std::string at(const std::string& name) const { return root_ + "\\" + name; }
  // Creates the file with kBytes of the buffer's bytes.
  void make_file(const std::string& path) {
    const FileHandle out = open_unbuffered(path, FileAccess::Write, FileDisposition::CreateAlways);
    ASSERT_NE(out, kInvalidFile) << path;
    ASSERT_TRUE(write_file(out, buffer_, kBytes)) << path;
    flush_file(out);
    close_file(out);
  }
  // A failure names the operation and the path as the system names it, and
  // gives a reason.
  static void expect_failure(const Outcome& outcome, const char* operation,
                             const std::string& path) {
    EXPECT_FALSE(outcome) << operation << " " << path;
    EXPECT_EQ(outcome.operation, operation);
    EXPECT_EQ(outcome.path, system_path(path));
    EXPECT_FALSE(outcome.reason.empty()) << operation << " " << path;
  }

  std::string root_;
  unsigned char* buffer_ = nullptr;
};

TEST_F(PlatformContract, DirectoriesAreCreatedOnceAndRemovedOnlyWhenEmpty) {
  const std::string work = at("w");
  EXPECT_TRUE(create_directory(work));
  expect_failure(create_directory(work), "create directory", work);
  expect_failure(create_directory(at("no\\parent")), "create directory", at("no\\parent"));
  make_file(work + "\\a.dat");
  expect_failure(create_directory(work + "\\a.dat"), "create directory", work + "\\a.dat");
  EXPECT_FALSE(remove_directory(work)) << "not empty";
  EXPECT_TRUE(delete_file(work + "\\a.dat"));
  expect_failure(delete_file(work + "\\a.dat"), "delete", work + "\\a.dat");
  EXPECT_TRUE(remove_directory(work));
  EXPECT_FALSE(remove_directory(work)) << "gone";
}

TEST_F(PlatformContract, TreesGoWithEverythingButDotNames) {
  const std::string work = at("w");
  ASSERT_TRUE(create_directory(work));
  ASSERT_TRUE(create_directory(work + "\\sub"));
  make_file(work + "\\a.dat");
  make_file(work + "\\sub\\b.dat");
  EXPECT_TRUE(remove_tree(work));
  EXPECT_FALSE(remove_directory(work)) << "removed with all below it";

  ASSERT_TRUE(create_directory(work));
  make_file(work + "\\.keep");
  make_file(work + "\\c.dat");
  EXPECT_FALSE(remove_tree(work)) << "a dot name is skipped, so its directory stays";
  EXPECT_FALSE(delete_file(work + "\\c.dat")) << "the other entries went";
  EXPECT_TRUE(delete_file(work + "\\.keep"));
  EXPECT_TRUE(remove_tree(work));
}

TEST_F(PlatformContract, TransfersMoveExactlyTheirLengthOrFail) {
  const std::string path = at("t.dat");
  make_file(path);
  const FileHandle in = open_unbuffered(path, FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(in, kInvalidFile);
  auto* back = static_cast<unsigned char*>(allocate_io_buffer(kBytes));
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(read_file(in, back, kBytes));
  EXPECT_EQ(std::memcmp(back, buffer_, kBytes), 0);
  // At the end: a read of a length is short; a counted read gets nothing.
  const Outcome past_end = read_file(in, back, kBytes);
  EXPECT_FALSE(past_end);
  EXPECT_EQ(past_end.reason, short_read(0, kBytes).reason);
  std::uint32_t got = 1;
  EXPECT_TRUE(read_file_counted(in, back, kBytes, got));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(read_file(in, back, 0));
  // A file opened to be read is not written.
  const Outcome written = write_file(in, buffer_, kBytes);
  EXPECT_FALSE(written);
  EXPECT_EQ(written.operation, "write");
  EXPECT_FALSE(written.reason.empty());
  release_io_buffer(back);
  close_file(in);
}

TEST_F(PlatformContract, OpensFailWithTheirReason) {
  Outcome failed;
  const std::string missing = at("missing.dat");
  EXPECT_EQ(open_unbuffered(missing, FileAccess::Read, FileDisposition::OpenExisting, &failed),
            kInvalidFile);
  expect_failure(failed, "open", missing);
  const std::string nowhere = at("no\\such.dat");
  EXPECT_EQ(open_unbuffered(nowhere, FileAccess::Write, FileDisposition::CreateAlways, &failed),
            kInvalidFile);
  expect_failure(failed, "open", nowhere);
  ASSERT_TRUE(create_directory(at("d")));
  // A directory is no file, whether opened or to be replaced.
  EXPECT_EQ(open_unbuffered(at("d"), FileAccess::Read, FileDisposition::OpenExisting, &failed),
            kInvalidFile);
  expect_failure(failed, "open", at("d"));
  EXPECT_EQ(open_unbuffered(at("d"), FileAccess::Write, FileDisposition::CreateAlways, &failed),
            kInvalidFile);
  expect_failure(failed, "open", at("d"));
}

TEST_F(PlatformContract, WholeFileCopiesCopyOrFail) {
  make_file(at("from.dat"));
  EXPECT_TRUE(copy_whole_file(at("from.dat"), at("to.dat")));
  const FileHandle in =
      open_unbuffered(at("to.dat"), FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(in, kInvalidFile);
  auto* back = static_cast<unsigned char*>(allocate_io_buffer(kBytes));
  EXPECT_TRUE(read_file(in, back, kBytes));
  EXPECT_EQ(std::memcmp(back, buffer_, kBytes), 0);
  std::uint32_t got = 1;
  EXPECT_TRUE(read_file_counted(in, back, kBytes, got));
  EXPECT_EQ(got, 0u) << "the copy is as long as its source";
  release_io_buffer(back);
  close_file(in);

  const Outcome missing = copy_whole_file(at("none.dat"), at("to2.dat"));
  EXPECT_FALSE(missing);
  EXPECT_FALSE(missing.reason.empty());
}

// The bytes of a short file, read back through the file services.
std::string contents_of(const std::string& path) {
  OpenFile in(path, FileAccess::Read, FileDisposition::OpenExisting);
  if (in.handle() == kInvalidFile) return "(no file)";
  auto* back = static_cast<char*>(allocate_io_buffer(kBytes));
  std::uint32_t got = 0;
  const bool read = back != nullptr && read_file_counted(in.handle(), back, kBytes, got);
  const std::string text = read ? std::string(back, got) : "(unreadable)";
  release_io_buffer(back);
  return text;
}

TEST_F(PlatformContract, ReportFilesAreReplacedWholeAndGrowByLines) {
  const std::string report = at("result.txt");
  EXPECT_TRUE(replace_file_contents(system_path(report), "a longer first report\r\n"));
  EXPECT_EQ(contents_of(report), "a longer first report\r\n");
  EXPECT_TRUE(replace_file_contents(system_path(report), "second\r\n"));
  EXPECT_EQ(contents_of(report), "second\r\n") << "nothing of the first is left";
  EXPECT_FALSE(remove_directory(root_)) << "the root holds the report";
  EXPECT_TRUE(delete_file(report));
  EXPECT_TRUE(remove_directory(root_)) << "no file of another name was left beside it";
  ASSERT_TRUE(create_directory(root_));

  const std::string lines = at("results.jsonl");
  EXPECT_TRUE(append_line_to_file(system_path(lines), "{\"run\":1}"));
  EXPECT_TRUE(append_line_to_file(system_path(lines), "{\"run\":2}"));
  EXPECT_EQ(contents_of(lines), "{\"run\":1}\n{\"run\":2}\n");

  // A directory of the report's name is not replaced; its place is kept.
  ASSERT_TRUE(create_directory(at("taken")));
  EXPECT_FALSE(replace_file_contents(system_path(at("taken")), "x"));
  EXPECT_FALSE(append_line_to_file(system_path(at("taken")), "x"));
  EXPECT_FALSE(replace_file_contents(system_path(at("no\\such\\result.txt")), "x"));
  EXPECT_TRUE(remove_directory(at("taken"))) << "still an empty directory";
  EXPECT_TRUE(delete_file(lines));
  EXPECT_TRUE(remove_directory(root_)) << "nothing was left beside the files";
  ASSERT_TRUE(create_directory(root_));
}

TEST_F(PlatformContract, VolumeFiguresInBytes) {
  VolumeFigures figures;
  ASSERT_TRUE(query_volume(contract_drive(root_), figures));
  EXPECT_GT(figures.total_bytes, 0u);
  EXPECT_LE(figures.free_bytes, figures.total_bytes);
  // Whole units of at least 512 bytes on every real volume and on the fake.
  EXPECT_EQ(figures.total_bytes % 512, 0u);
}

}  // namespace
