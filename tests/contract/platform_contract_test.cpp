// What every platform layer promises, written against the platform headers
// alone and linked with each layer: the Linux layer, the fake the unit
// tests run on, and the Windows layer (under wine). The fake is shown to
// behave as the real layers do wherever the logic relies on it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/directories.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/report_files.h"
#include "platform/volume_description.h"
#include "tests/contract/contract_root.h"

namespace {

constexpr std::uint32_t kBytes = 4096;

// What a whole-file copy told its hook.
struct Heard {
  int calls = 0;
  std::uint64_t last = 0;
  bool go_on = true;
};

bool hear(void* context, std::uint64_t copied) {
  auto* heard = static_cast<Heard*>(context);
  ++heard->calls;
  heard->last = copied;
  return heard->go_on;
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

class PlatformContract : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = make_contract_root();
    ASSERT_FALSE(root_.empty()) << "no directory to work in";
    buffer_ = IoBuffer(kBytes);
    ASSERT_NE(buffer_.bytes(), nullptr);
    for (std::uint32_t i = 0; i < kBytes; ++i)
      buffer_.bytes()[i] = static_cast<unsigned char>(i % 251);
  }
  void TearDown() override { remove_contract_root(root_); }
  std::string at(const std::string& name) const { return root_ + "\\" + name; }
  // Creates the file with kBytes of the buffer's bytes.
  void make_file(const std::string& path) {
    const OpenFile out(path, FileAccess::Write, FileDisposition::CreateNew);
    ASSERT_NE(out.handle(), kInvalidFile) << path;
    ASSERT_TRUE(write_file(out.handle(), buffer_.bytes(), kBytes)) << path;
    flush_file(out.handle());
  }
  // Opens the file to be read and reads its first kBytes into `back`: they
  // must be the buffer's. The file stays open with its owner.
  OpenFile open_and_read_back(const std::string& path, const IoBuffer& back) {
    OpenFile opened(path, FileAccess::Read, FileDisposition::OpenExisting);
    EXPECT_NE(opened.handle(), kInvalidFile) << path;
    EXPECT_TRUE(read_file(opened.handle(), back.bytes(), kBytes)) << path;
    EXPECT_EQ(std::memcmp(back.bytes(), buffer_.bytes(), kBytes), 0) << path;
    return opened;
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
  IoBuffer buffer_;
};

TEST_F(PlatformContract, DirectoriesAreCreatedOnceAndRemovedOnlyWhenEmpty) {
  const std::string work = at("w");
  EXPECT_TRUE(create_directory(work));
  expect_failure(create_directory(work), "create directory", work);
  expect_failure(create_directory(at("no\\parent")), "create directory", at("no\\parent"));
  make_file(work + "\\a.dat");
  expect_failure(create_directory(work + "\\a.dat"), "create directory", work + "\\a.dat");
  EXPECT_FALSE(remove_directory(work)) << "not empty";
  ASSERT_TRUE(delete_contract_file(work + "\\a.dat"));
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
  EXPECT_FALSE(delete_contract_file(work + "\\c.dat")) << "the other entries went";
  EXPECT_TRUE(delete_contract_file(work + "\\.keep"));
  EXPECT_TRUE(remove_tree(work));
}

TEST_F(PlatformContract, TransfersMoveExactlyTheirLengthOrFail) {
  const std::string path = at("t.dat");
  make_file(path);
  const IoBuffer read_back(kBytes);
  unsigned char* back = read_back.bytes();
  ASSERT_NE(back, nullptr);
  const OpenFile opened = open_and_read_back(path, read_back);
  const FileHandle in = opened.handle();
  // At the end: a read of a length is short; a counted read gets nothing.
  const Outcome past_end = read_file(in, back, kBytes);
  EXPECT_FALSE(past_end);
  EXPECT_EQ(past_end.reason, short_read(0, kBytes).reason);
  std::uint32_t got = 1;
  EXPECT_TRUE(read_file_counted(in, back, kBytes, got));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(read_file(in, back, 0));
  // A file opened to be read is not written.
  const Outcome written = write_file(in, buffer_.bytes(), kBytes);
  EXPECT_FALSE(written);
  EXPECT_EQ(written.operation, "write");
  EXPECT_FALSE(written.reason.empty());
}

TEST_F(PlatformContract, OwnersHandOnTheirFileAndBufferAndCloseOnlyTheirOwn) {
  make_file(at("a.dat"));
  make_file(at("b.dat"));
  IoBuffer first_buffer(kBytes);
  unsigned char* const memory = first_buffer.bytes();
  ASSERT_NE(memory, nullptr);
  const IoBuffer buffer(std::move(first_buffer));
  EXPECT_EQ(first_buffer.bytes(), nullptr);
  EXPECT_EQ(buffer.bytes(), memory);

  // Counted reads succeed on an open file, at its end too, and fail on a closed one.
  std::uint32_t got = 0;
  const auto readable = [&](FileHandle file) {
    return static_cast<bool>(read_file_counted(file, buffer.bytes(), kBytes, got));
  };
  OpenFile first(at("a.dat"), FileAccess::Read, FileDisposition::OpenExisting);
  const FileHandle a = first.handle();
  ASSERT_NE(a, kInvalidFile);
  OpenFile owner;
  {
    OpenFile moved(std::move(first));
    EXPECT_EQ(first.handle(), kInvalidFile);
    owner = std::move(moved);
  }  // the owners left empty close nothing
  EXPECT_EQ(owner.handle(), a);
  EXPECT_TRUE(readable(a));

  const FileHandle released = owner.release();
  EXPECT_EQ(owner.handle(), kInvalidFile);
  owner = OpenFile(at("b.dat"), FileAccess::Read, FileDisposition::OpenExisting);
  EXPECT_TRUE(readable(released)) << "a released file stays open";
  close_file(released);

  // An owner given another file closes the one it had.
  const FileHandle b = owner.handle();
  ASSERT_NE(b, kInvalidFile);
  owner = OpenFile(at("a.dat"), FileAccess::Read, FileDisposition::OpenExisting);
  EXPECT_FALSE(readable(b));
  EXPECT_TRUE(readable(owner.handle()));
}

TEST_F(PlatformContract, TransferBuffersArePageAligned) {
  // Cache-bypassing transfers refuse buffers that are not aligned to the
  // sector; a page (4096 bytes at least, everywhere) is a multiple of it.
  for (std::size_t bytes : {std::size_t{0}, std::size_t{1}, std::size_t{512}, std::size_t{3073},
                            std::size_t{4096}, std::size_t{65536}, std::size_t{1} << 20}) {
    void* buffer = allocate_io_buffer(bytes);
    ASSERT_NE(buffer, nullptr) << bytes;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer) % 4096, 0u) << bytes;
    release_io_buffer(buffer);
  }
}

TEST_F(PlatformContract, OpensFailWithTheirReason) {
  Outcome failed;
  const std::string missing = at("missing.dat");
  EXPECT_EQ(OpenFile(missing, FileAccess::Read, FileDisposition::OpenExisting, &failed).handle(),
            kInvalidFile);
  expect_failure(failed, "open", missing);
  const std::string nowhere = at("no\\such.dat");
  EXPECT_EQ(OpenFile(nowhere, FileAccess::Write, FileDisposition::CreateNew, &failed).handle(),
            kInvalidFile);
  expect_failure(failed, "create", nowhere);
  ASSERT_TRUE(create_directory(at("d")));
  // A directory is no file, whether opened or to be replaced.
  EXPECT_EQ(OpenFile(at("d"), FileAccess::Read, FileDisposition::OpenExisting, &failed).handle(),
            kInvalidFile);
  expect_failure(failed, "open", at("d"));
  EXPECT_EQ(OpenFile(at("d"), FileAccess::Write, FileDisposition::CreateNew, &failed).handle(),
            kInvalidFile);
  expect_failure(failed, "create", at("d"));
}

// A name that is there already is never created over, by an open or by a
// copy, whatever it is; what it holds stays as it was.
TEST_F(PlatformContract, AnExistingNameIsNeverCreatedOver) {
  make_file(at("taken.dat"));
  make_file(at("from.dat"));
  Outcome failed;
  EXPECT_EQ(
      OpenFile(at("taken.dat"), FileAccess::ReadWrite, FileDisposition::CreateNew, &failed).handle(),
      kInvalidFile);
  expect_failure(failed, "create", at("taken.dat"));
  const Outcome copied = copy_whole_file(at("from.dat"), at("taken.dat"));
  EXPECT_FALSE(copied);
  EXPECT_FALSE(copied.reason.empty());
  EXPECT_FALSE(copy_whole_file(at("from.dat"), at("from.dat"))) << "onto itself";
  const IoBuffer read_back(kBytes);
  ASSERT_NE(read_back.bytes(), nullptr);
  for (const char* name : {"taken.dat", "from.dat"}) {
    const OpenFile opened = open_and_read_back(at(name), read_back);
    std::uint32_t got = 1;
    EXPECT_TRUE(read_file_counted(opened.handle(), read_back.bytes(), kBytes, got));
    EXPECT_EQ(got, 0u) << name << " is as long as it was";
  }
}

// A held directory is made once, takes files, and once let go of is removed
// as any other.
TEST_F(PlatformContract, HeldDirectoriesAreNewAndGoOnceLetGoOf) {
  const std::string work = at("w");
  Outcome failed;
  DirectoryHandle held(work, &failed);
  ASSERT_TRUE(held) << failed.reason;
  EXPECT_FALSE(DirectoryHandle(work, &failed));
  expect_failure(failed, "create directory", work);
  make_file(work + "\\test0.dat");
  EXPECT_TRUE(copy_whole_file(work + "\\test0.dat", work + "\\copy0.dat"));
  const IoBuffer read_back(kBytes);
  ASSERT_NE(read_back.bytes(), nullptr);
  open_and_read_back(work + "\\copy0.dat", read_back);
  DirectoryHandle moved(std::move(held));
  EXPECT_FALSE(held);
  moved.close();
  EXPECT_TRUE(remove_tree(work));
  EXPECT_FALSE(remove_directory(work)) << "gone";
}

// A held directory is removed through what is held, in the held drive folder:
// its files, then itself; a dot name stays, and so does its directory.
TEST_F(PlatformContract, HeldDirectoriesAreRemovedThroughTheirHold) {
  const std::string drive = at("drive");
  ASSERT_TRUE(create_directory(drive));
  Outcome failed;
  const DirectoryHandle folder(open_drive_directory(drive, &failed));
  ASSERT_TRUE(folder) << failed.reason;
  EXPECT_TRUE(check_drive_directory(folder.get(), drive));
  const std::string work = drive + "\\Varnoquelbit1";
  DirectoryHandle held(work, &failed);
  ASSERT_TRUE(held) << failed.reason;
  make_file(work + "\\test0.dat");
  EXPECT_TRUE(copy_whole_file(work + "\\test0.dat", work + "\\copy0.dat"));
  // What it holds is counted through the hold: both files, every byte.
  DirectoryContents contents;
  EXPECT_TRUE(held_directory_contents(held, work, contents));
  EXPECT_EQ(contents.files, 2u);
  EXPECT_EQ(contents.bytes, 2u * kBytes);
  const Outcome removed = remove_held_directory(std::move(held), work);
  EXPECT_TRUE(removed) << removed.operation << " " << removed.path << ": " << removed.reason;
  EXPECT_FALSE(held);
  EXPECT_FALSE(remove_directory(work)) << "gone";

  DirectoryHandle kept(work, &failed);
  ASSERT_TRUE(kept) << failed.reason;
  make_file(work + "\\.kept");
  make_file(work + "\\copy0.dat");
  EXPECT_FALSE(remove_held_directory(std::move(kept), work));
  EXPECT_FALSE(OpenFile(work + "\\copy0.dat", FileAccess::Read, FileDisposition::OpenExisting)
                   .handle() != kInvalidFile)
      << "the copy went";
  EXPECT_FALSE(create_directory(work)) << "the dot name kept its directory";
}

#ifndef _WIN32
// A link in a file's place is never followed: not opened to be read, not
// created over, not copied from or to. (Windows opens a reparse point itself
// with FILE_FLAG_OPEN_REPARSE_POINT; wine makes no symbolic links to try it.)
TEST_F(PlatformContract, ALinkInAFilesPlaceIsNeverFollowed) {
  make_file(at("theirs.dat"));
  ASSERT_TRUE(make_contract_link(at("link.dat"), at("theirs.dat")));
  ASSERT_TRUE(make_contract_link(at("dangling.dat"), at("made.dat")));
  Outcome failed;
  EXPECT_EQ(
      OpenFile(at("link.dat"), FileAccess::Read, FileDisposition::OpenExisting, &failed).handle(),
      kInvalidFile);
  expect_failure(failed, "open", at("link.dat"));
  for (const char* name : {"link.dat", "dangling.dat"}) {
    EXPECT_EQ(
        OpenFile(at(name), FileAccess::Write, FileDisposition::CreateNew, &failed).handle(),
        kInvalidFile);
    expect_failure(failed, "create", at(name));
    EXPECT_FALSE(copy_whole_file(at("theirs.dat"), at(name))) << name;
  }
  EXPECT_FALSE(copy_whole_file(at("link.dat"), at("copy.dat")));
  EXPECT_EQ(contents_of(at("made.dat")), "(no file)");
  EXPECT_EQ(contents_of(at("copy.dat")), "(no file)");
  EXPECT_EQ(contents_of(at("theirs.dat")),
            std::string(reinterpret_cast<const char*>(buffer_.bytes()), kBytes));
}
#endif

TEST_F(PlatformContract, WholeFileCopiesCopyOrFail) {
  make_file(at("from.dat"));
  EXPECT_TRUE(copy_whole_file(at("from.dat"), at("to.dat")));
  const IoBuffer read_back(kBytes);
  ASSERT_NE(read_back.bytes(), nullptr);
  const OpenFile opened = open_and_read_back(at("to.dat"), read_back);
  std::uint32_t got = 1;
  EXPECT_TRUE(read_file_counted(opened.handle(), read_back.bytes(), kBytes, got));
  EXPECT_EQ(got, 0u) << "the copy is as long as its source";

  const Outcome missing = copy_whole_file(at("none.dat"), at("to2.dat"));
  EXPECT_FALSE(missing);
  EXPECT_FALSE(missing.reason.empty());

  // The hook hears of every file, the last time with all of it, and stops
  // a copy when it says so.
  Heard heard;
  EXPECT_TRUE(copy_whole_file(at("from.dat"), at("to3.dat"), {hear, &heard}));
  EXPECT_GE(heard.calls, 1);
  EXPECT_EQ(heard.last, kBytes);
  Heard stopping;
  stopping.go_on = false;
  const Outcome stopped = copy_whole_file(at("from.dat"), at("to4.dat"), {hear, &stopping});
  EXPECT_FALSE(stopped);
  EXPECT_EQ(stopped.reason, "interrupted");
  EXPECT_EQ(stopping.calls, 1) << "no piece after the hook said stop";
}

TEST_F(PlatformContract, ReportFilesAreReplacedWholeAndGrowByLines) {
  const std::string report = at("result.txt");
  EXPECT_TRUE(replace_file_contents(system_path(report), "a longer first report\r\n"));
  EXPECT_EQ(contents_of(report), "a longer first report\r\n");
  EXPECT_TRUE(replace_file_contents(system_path(report), "second\r\n"));
  EXPECT_EQ(contents_of(report), "second\r\n") << "nothing of the first is left";
  EXPECT_FALSE(remove_directory(root_)) << "the root holds the report";
  EXPECT_TRUE(delete_contract_file(report));
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
  EXPECT_TRUE(delete_contract_file(lines));
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

TEST_F(PlatformContract, AVolumeKeepsItsIdentityAndItsDescriptionGivesIt) {
  const std::string drive = contract_drive(root_);
  VolumeIdentity first, second;
  ASSERT_TRUE(query_volume_identity(drive, first));
  ASSERT_TRUE(query_volume_identity(drive, second));
  EXPECT_EQ(first, second);
  VolumeDescription volume;
  ASSERT_TRUE(describe_volume(drive, volume));
  EXPECT_EQ(volume.identity, first);
  // Where no mount entry holds the root (a chroot's plain root directory),
  // the description leaves the mount's fields empty rather than guess.
  const bool listed = contract_root_in_mount_table(root_);
  EXPECT_EQ(volume.file_system.empty(), !listed);
  EXPECT_EQ(volume.mount_point.empty(), !listed);
  ASSERT_TRUE(volume.figures.has_value());
  VolumeFigures figures;
  ASSERT_TRUE(query_volume(drive, figures));
  EXPECT_EQ(volume.figures->total_bytes, figures.total_bytes);

  const std::string missing = at("missing");
  const Outcome identified = query_volume_identity(missing, first);
  EXPECT_FALSE(identified);
  EXPECT_EQ(identified.operation, "query volume");
  EXPECT_FALSE(identified.reason.empty());
  EXPECT_FALSE(describe_volume(missing, volume));
}

}  // namespace
