// Directories on a real file system: creation, listing with entry kinds, and
// the removal of a work directory tree.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "platform/directories.h"
#include "platform/files.h"
#include "tests/platform/scratch.h"
#include "trials/work_directory.h"

namespace {

using scratch::ScratchTest;

std::map<std::string, EntryKind> list(const std::string& pattern, bool* started = nullptr) {
  std::map<std::string, EntryKind> entries;
  DirectoryEntry entry;
  const DirectorySearch search = find_first_entry(pattern, entry);
  if (started != nullptr) *started = search != kInvalidSearch;
  if (search == kInvalidSearch) return entries;
  do {
    entries[entry.name] = entry.kind;
  } while (find_next_entry(search, entry));
  find_close(search);
  return entries;
}

class Directories : public ScratchTest {
 protected:
  void make_dir(const std::string& relative) {
    ASSERT_EQ(::mkdir((dir_ + "/" + relative).c_str(), 0777), 0) << relative;
  }
  void make_file(const std::string& relative) {
    scratch::write_bytes(dir_ + "/" + relative, "content of " + relative);
  }
  void make_link(const std::string& target, const std::string& relative) {
    ASSERT_EQ(::symlink(target.c_str(), (dir_ + "/" + relative).c_str()), 0) << relative;
  }
};

TEST_F(Directories, CreateFailsWhenTheNameExists) {
  EXPECT_TRUE(create_directory("C:\\work"));
  EXPECT_FALSE(create_directory("C:\\work"));
  make_file("file");
  EXPECT_FALSE(create_directory("C:\\file"));
  make_link("nowhere", "dangling");
  EXPECT_FALSE(create_directory("C:\\dangling"));
  EXPECT_FALSE(create_directory("C:\\missing\\child"));
}

TEST_F(Directories, RemoveTakesOnlyEmptyDirectoriesOrLinksToThem) {
  make_dir("full");
  make_file("full/inside");
  EXPECT_FALSE(remove_directory("C:\\full"));
  EXPECT_TRUE(scratch::exists(dir_ + "/full/inside"));
  make_link(dir_ + "/full", "link");
  EXPECT_TRUE(remove_directory("C:\\link"));
  EXPECT_FALSE(scratch::exists(dir_ + "/link"));
  EXPECT_TRUE(scratch::exists(dir_ + "/full/inside"));
  make_dir("empty");
  EXPECT_TRUE(remove_directory("C:\\empty"));
  EXPECT_FALSE(remove_directory("C:\\full\\inside"));  // a file is no directory
  EXPECT_TRUE(delete_file("C:\\full\\inside"));
  EXPECT_FALSE(delete_file("C:\\full\\inside"));
  EXPECT_FALSE(delete_file("C:\\full"));  // a directory is no file
}

TEST_F(Directories, ListingReportsEveryEntryWithItsKind) {
  make_dir("work");
  make_dir("work/sub");
  make_file("work/test0.dat");
  make_file("work/.keep");
  make_link(dir_ + "/work/sub", "work/dir_link");
  make_link("test0.dat", "work/file_link");
  make_link("nowhere", "work/dangling");
  bool started = false;
  const auto entries = list("C:\\work\\*", &started);
  ASSERT_TRUE(started);
  const std::map<std::string, EntryKind> wanted = {
      {".", EntryKind::Directory},      {"..", EntryKind::Directory},
      {"sub", EntryKind::Directory},    {"test0.dat", EntryKind::File},
      {".keep", EntryKind::File},       {"dir_link", EntryKind::File},
      {"file_link", EntryKind::File},   {"dangling", EntryKind::File},
  };
  EXPECT_EQ(entries, wanted);
  // The same listing from an absolute drive string.
  EXPECT_EQ(list(dir_ + "\\work\\*"), wanted);
}

TEST_F(Directories, ListingFailsCleanly) {
  make_file("plain");
  bool started = true;
  list("C:\\absent\\*", &started);
  EXPECT_FALSE(started);
  list("C:\\plain\\*", &started);
  EXPECT_FALSE(started);
  list("C:\\", &started);  // not a listing pattern
  EXPECT_FALSE(started);
  find_close(kInvalidSearch);  // does nothing
}

TEST_F(Directories, RemoveTreeDeletesAWholeTree) {
  make_dir("Varnoquelbit1");
  make_dir("Varnoquelbit1/a");
  make_dir("Varnoquelbit1/a/b");
  make_dir("Varnoquelbit1/empty");
  make_file("Varnoquelbit1/test0.dat");
  make_file("Varnoquelbit1/copy0.dat");
  make_file("Varnoquelbit1/a/one");
  make_file("Varnoquelbit1/a/b/two");
  EXPECT_TRUE(remove_tree("C:\\Varnoquelbit1"));
  EXPECT_FALSE(scratch::exists(dir_ + "/Varnoquelbit1"));
  // A path that ends in a backslash works the same.
  make_dir("Varnoquelbit2");
  make_file("Varnoquelbit2/test0.dat");
  EXPECT_TRUE(remove_tree("C:\\Varnoquelbit2\\"));
  EXPECT_FALSE(scratch::exists(dir_ + "/Varnoquelbit2"));
  EXPECT_FALSE(remove_tree("C:\\Varnoquelbit3"));
}

TEST_F(Directories, RemoveTreeLeavesDotEntriesAndItsDirectory) {
  make_dir("Varnoquelbit1");
  make_file("Varnoquelbit1/.keep");
  make_file("Varnoquelbit1/test0.dat");
  EXPECT_FALSE(remove_tree("C:\\Varnoquelbit1"));
  EXPECT_TRUE(scratch::exists(dir_ + "/Varnoquelbit1/.keep"));
  EXPECT_FALSE(scratch::exists(dir_ + "/Varnoquelbit1/test0.dat"));
}

TEST_F(Directories, RemoveTreeRemovesLinksAndNeverWhatTheyPointTo) {
  make_dir("outside");
  make_dir("outside/deeper");
  for (int i = 0; i < 5; ++i) make_file("outside/keep" + std::to_string(i));
  make_file("outside/deeper/keep");
  make_dir("Varnoquelbit1");
  make_file("Varnoquelbit1/test0.dat");
  make_link(dir_ + "/outside", "Varnoquelbit1/to_outside");
  make_link("../outside/keep0", "Varnoquelbit1/to_file");
  EXPECT_TRUE(remove_tree("C:\\Varnoquelbit1"));
  EXPECT_FALSE(scratch::exists(dir_ + "/Varnoquelbit1"));
  for (int i = 0; i < 5; ++i)
    EXPECT_TRUE(scratch::exists(dir_ + "/outside/keep" + std::to_string(i))) << i;
  EXPECT_TRUE(scratch::exists(dir_ + "/outside/deeper/keep"));
}

}  // namespace
