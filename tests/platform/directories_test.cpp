// Directories on a real file system: creation, and the removal of a work
// directory tree, which touches nothing outside it whatever is swapped in.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/directories.h"
#include "platform/files.h"
#include "tests/platform/scratch.h"

namespace {

using scratch::ScratchTest;

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
  // A directory of files that no removal may touch.
  void make_canaries(const std::string& relative) {
    make_dir(relative);
    for (int i = 0; i < 4; ++i) make_file(relative + "/test" + std::to_string(i) + ".dat");
  }

 public:
  // What an attacker puts at "work" once the held directory is moved away.
  void replace_with_canaries() { make_canaries("work"); }
  void replace_with_link() {
    make_canaries("theirs");
    make_link(dir_ + "/theirs", "work");
  }
  void expect_canaries(const std::string& relative) {
    for (int i = 0; i < 4; ++i) {
      const std::string name = relative + "/test" + std::to_string(i) + ".dat";
      EXPECT_EQ(scratch::read_bytes(dir_ + "/" + name), "content of " + name);
    }
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

// A held work directory is the owner's alone, whatever the umask, and the
// file services work in it even after it was renamed away and a link to a
// directory of someone else's was put in its place.
TEST_F(Directories, AHeldDirectoryIsPrivateAndItsFilesAreMadeInItAlone) {
  const mode_t umask_before = ::umask(0);
  Outcome failed;
  DirectoryHandle held("C:\\work", &failed);
  ::umask(umask_before);
  ASSERT_TRUE(held) << failed.reason;
  struct stat status;
  ASSERT_EQ(::stat((dir_ + "/work").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
  EXPECT_FALSE(DirectoryHandle("C:\\work", &failed)) << "the name is taken";
  EXPECT_EQ(failed.operation, "create directory");

  make_canaries("theirs");
  ASSERT_EQ(::rename((dir_ + "/work").c_str(), (dir_ + "/moved").c_str()), 0);
  make_link(dir_ + "/theirs", "work");
  {
    const OpenFile made("C:\\work\\test0.dat", FileAccess::Write, FileDisposition::CreateNew);
    ASSERT_NE(made.handle(), kInvalidFile);
  }
  EXPECT_TRUE(copy_whole_file("C:\\work\\test0.dat", "C:\\work\\copy0.dat"));
  EXPECT_TRUE(scratch::exists(dir_ + "/moved/test0.dat"));
  EXPECT_TRUE(scratch::exists(dir_ + "/moved/copy0.dat"));
  // Nothing was made in, or opened from, the directory the link leads to.
  EXPECT_FALSE(scratch::exists(dir_ + "/theirs/copy0.dat"));
  EXPECT_FALSE(OpenFile("C:\\work\\test1.dat", FileAccess::Read, FileDisposition::OpenExisting)
                   .handle() != kInvalidFile)
      << "test1.dat of the held directory does not exist";
  expect_canaries("theirs");

  // Let go of, the directory's path is the path again.
  held.close();
  EXPECT_TRUE(OpenFile("C:\\work\\test1.dat", FileAccess::Read, FileDisposition::OpenExisting)
                  .handle() != kInvalidFile);
}

// A held work directory is removed through what is held: its entries from
// its descriptor, itself from its parent only while its name still leads to
// it. Each row puts something else at the name after the directory was
// renamed away; none of it is touched, and the trial's own files go.
TEST_F(Directories, AHeldDirectoryIsRemovedOnlyThroughWhatIsHeld) {
  struct Row {
    const char* what;
    const char* found;  // the reason's start
    void (Directories::*replace)();
    const char* canaries;  // where the replacement's files are, if any
  };
  const Row rows[] = {
      {"someone's directory", "another directory", &Directories::replace_with_canaries, "work"},
      {"a link to theirs", "a symbolic link", &Directories::replace_with_link, "theirs"},
      {"nothing", "nothing is there now", nullptr, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    for (const char* name : {"theirs", "moved", "work"}) scratch::remove_all(dir_ + "/" + name);
    DirectoryHandle held("C:\\work");
    ASSERT_TRUE(held);
    scratch::write_bytes(dir_ + "/work/test0.dat", "ours");
    ASSERT_EQ(::rename((dir_ + "/work").c_str(), (dir_ + "/moved").c_str()), 0);
    if (row.replace != nullptr) (this->*row.replace)();
    const Outcome removed = remove_held_directory(std::move(held), "C:\\work");
    EXPECT_EQ(removed.operation, kLeftInPlace);
    EXPECT_EQ(removed.reason.rfind(row.found, 0), 0u) << removed.reason;
    EXPECT_NE(removed.reason.find("moved away"), std::string::npos) << removed.reason;
    if (row.canaries != nullptr) expect_canaries(row.canaries);
    EXPECT_FALSE(scratch::exists(dir_ + "/moved/test0.dat")) << "the trial's own file went";
    EXPECT_TRUE(scratch::exists(dir_ + "/moved")) << "its directory stays where it was moved";
  }
  // In its place, with a dot name inside: the dot name stays, and so does the
  // directory; the first failure stops the removal.
  scratch::remove_all(dir_ + "/moved");
  DirectoryHandle held("C:\\Varnoquelbit1");
  ASSERT_TRUE(held);
  scratch::write_bytes(dir_ + "/Varnoquelbit1/.keep", "kept");
  scratch::write_bytes(dir_ + "/Varnoquelbit1/copy0.dat", "ours");
  EXPECT_FALSE(remove_held_directory(std::move(held), "C:\\Varnoquelbit1"));
  EXPECT_TRUE(scratch::exists(dir_ + "/Varnoquelbit1/.keep"));
  EXPECT_FALSE(scratch::exists(dir_ + "/Varnoquelbit1/copy0.dat"));
  ::unlink((dir_ + "/Varnoquelbit1/.keep").c_str());
  DirectoryHandle again("C:\\Varnoquelbit2");
  scratch::write_bytes(dir_ + "/Varnoquelbit2/test0.dat", "ours");
  EXPECT_TRUE(remove_held_directory(std::move(again), "C:\\Varnoquelbit2"));
  EXPECT_FALSE(scratch::exists(dir_ + "/Varnoquelbit2"));
}

// A drive folder held for the run: a work directory is made in it even after
// its path was turned into a link elsewhere, and the check tells that the
// drive's folder changed.
TEST_F(Directories, AHeldDriveFolderIsWhereWorkDirectoriesAreMade) {
  make_dir("drive");
  const std::string drive = dir_ + "/drive";
  Outcome failed;
  const DirectoryHandle folder(open_drive_directory(drive, &failed));
  ASSERT_TRUE(folder) << failed.reason;
  EXPECT_TRUE(check_drive_directory(folder.get(), drive));
  make_canaries("theirs");
  ASSERT_EQ(::rename(drive.c_str(), (dir_ + "/moved").c_str()), 0);
  make_link(dir_ + "/theirs", "drive");
  const Outcome changed = check_drive_directory(folder.get(), drive);
  EXPECT_FALSE(changed);
  EXPECT_NE(changed.reason.find("the drive's folder changed"), std::string::npos)
      << changed.reason;
  DirectoryHandle work(drive + "\\Varnoquelbit1");
  ASSERT_TRUE(work);
  EXPECT_TRUE(scratch::exists(dir_ + "/moved/Varnoquelbit1"));
  EXPECT_FALSE(scratch::exists(dir_ + "/theirs/Varnoquelbit1"));
  EXPECT_TRUE(remove_held_directory(std::move(work), drive + "\\Varnoquelbit1"));
  EXPECT_FALSE(scratch::exists(dir_ + "/moved/Varnoquelbit1"));
  expect_canaries("theirs");
  EXPECT_FALSE(open_drive_directory(dir_ + "/absent", &failed) != kNoDirectory);
  EXPECT_EQ(failed.operation, "open");
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
  EXPECT_TRUE(scratch::exists(dir_ + "/full/inside"));
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

TEST_F(Directories, RemoveTreeRemovesLinksAndNeverWhatTheyPointTo) {
  make_canaries("canary");
  make_dir("outside");
  make_dir("outside/deeper");
  for (int i = 0; i < 5; ++i) make_file("outside/keep" + std::to_string(i));
  make_file("outside/deeper/keep");
  make_dir("Varnoquelbit1");
  make_file("Varnoquelbit1/test0.dat");
  make_link(dir_ + "/outside", "Varnoquelbit1/to_outside");
  make_link("../outside/keep0", "Varnoquelbit1/to_file");
  make_dir("Varnoquelbit1/sub");
  make_link("../../canary", "Varnoquelbit1/sub/test0.dat");
  ASSERT_EQ(::mkfifo((dir_ + "/Varnoquelbit1/sub/pipe").c_str(), 0600), 0);
  EXPECT_TRUE(remove_tree("C:\\Varnoquelbit1"));
  expect_canaries("canary");
  EXPECT_FALSE(scratch::exists(dir_ + "/Varnoquelbit1"));
  for (int i = 0; i < 5; ++i)
    EXPECT_TRUE(scratch::exists(dir_ + "/outside/keep" + std::to_string(i))) << i;
  EXPECT_TRUE(scratch::exists(dir_ + "/outside/deeper/keep"));
}

TEST_F(Directories, RemoveTreeLeavesATopSwappedForALinkOrAFile) {
  make_canaries("canary");
  make_link(dir_ + "/canary", "Varnoquelbit1");
  EXPECT_FALSE(remove_tree("C:\\Varnoquelbit1"));
  // A trailing separator makes a path lookup follow a final link.
  EXPECT_FALSE(remove_tree("C:\\Varnoquelbit1\\"));
  EXPECT_FALSE(remove_tree(dir_ + "/Varnoquelbit1/"));
  expect_canaries("canary");
  EXPECT_TRUE(scratch::exists(dir_ + "/Varnoquelbit1")) << "the link is left alone too";
  make_file("Varnoquelbit2");
  EXPECT_FALSE(remove_tree("C:\\Varnoquelbit2"));
  EXPECT_TRUE(scratch::exists(dir_ + "/Varnoquelbit2"));
}

// Directories swapped for links to the canaries while removals run: the work
// directory itself, and a directory inside it. A removal that went by path
// names would sooner or later list and empty the canaries.
TEST_F(Directories, RemoveTreeNeverEntersWhatIsSwappedInDuringTheRemoval) {
  make_canaries("canary");
  const std::string canary = dir_ + "/canary";
  const auto fill = [&](const std::string& top) {
    ::mkdir((dir_ + "/" + top).c_str(), 0777);
    ::mkdir((dir_ + "/" + top + "/sub").c_str(), 0777);
    for (int i = 0; i < 30; ++i) {
      scratch::write_bytes(dir_ + "/" + top + "/test" + std::to_string(i) + ".dat", "x");
      scratch::write_bytes(dir_ + "/" + top + "/sub/test" + std::to_string(i) + ".dat", "x");
    }
  };
  // Swaps `path` for a link to the canaries and back, as fast as it can.
  const auto swapper = [&](const std::string& path, std::atomic<bool>& stop) {
    const std::string aside = path + ".aside";
    const std::string link = path + ".link";
    while (!stop) {
      ::symlink(canary.c_str(), link.c_str());
      if (::rename(path.c_str(), aside.c_str()) == 0) {
        ::rename(link.c_str(), path.c_str());
        ::unlink(path.c_str());
        ::rename(aside.c_str(), path.c_str());
      }
      ::unlink(link.c_str());
    }
  };
  int removed = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  for (int round = 0; std::chrono::steady_clock::now() < deadline; ++round) {
    const std::string top = "Varnoquelbit" + std::to_string(round);
    fill(top);
    std::atomic<bool> stop{false};
    const std::string swapped = dir_ + "/" + top + (round % 2 == 0 ? "" : "/sub");
    std::thread thread(swapper, swapped, std::ref(stop));
    removed += remove_tree("C:\\" + top) ? 1 : 0;
    stop = true;
    thread.join();
    expect_canaries("canary");
    if (HasFailure()) break;
  }
  EXPECT_GT(removed, 0) << "some removals ran between swaps";
}

// A directory of the user's bind-mounted inside the work directory is a
// mount point there: it is not entered, and the removal stops at it.
TEST_F(Directories, RemoveTreeDoesNotEnterAMountPoint) {
  if (::geteuid() != 0) SKIP_UNLESS_CI("a bind mount needs root");
  make_canaries("canary");
  make_dir("Varnoquelbit1");
  make_dir("Varnoquelbit1/sub");
  const std::string point = dir_ + "/Varnoquelbit1/sub";
  ASSERT_EQ(::mount((dir_ + "/canary").c_str(), point.c_str(), nullptr, MS_BIND, nullptr), 0);
  EXPECT_FALSE(remove_tree("C:\\Varnoquelbit1"));
  EXPECT_EQ(::umount(point.c_str()), 0);
  expect_canaries("canary");
}

}  // namespace
