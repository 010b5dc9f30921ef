// The Windows platform layer against a real volume, in a scratch directory
// under the user's temporary directory.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/directories.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "platform/memory.h"
#include "platform/system_info.h"
#include "platform/thread.h"
#include "platform/volume_description.h"
#include "platform/win32/win32_directories_internal.h"
#include "platform/win32/win32_files_internal.h"
#include "platform/win32/win32_interruption_internal.h"

namespace {

// Bytes that differ from one offset to the next, so misplaced data shows.
std::string pattern_bytes(std::size_t count, unsigned seed) {
  std::string bytes(count, '\0');
  std::uint32_t state = seed;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 23);
  }
  return bytes;
}

std::string file_content(const std::string& path) {
  std::string content;
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) content.append(chunk, got);
  CloseHandle(file);
  return content;
}

void write_plain_file(const std::string& path, const std::string& content) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
  CloseHandle(file);
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Deletes a scratch tree with the system's own calls, links removed unentered.
void delete_tree(const std::string& path) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      const DWORD attributes = found.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        delete_tree(child);
      else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryA(child.c_str());
      else
        DeleteFileA(child.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

class Win32Platform : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    dir = std::string(temp) + "varno_platform_" + std::to_string(GetCurrentProcessId()) + "_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    delete_tree(dir);
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
  }
  void TearDown() override { delete_tree(dir); }

  std::string path(const std::string& name) const { return dir + "\\" + name; }

  std::string dir;
};

// Writes `content` in pieces of the given lengths through the layer.
void write_pieces(FileHandle file, const std::string& content,
                  const std::vector<std::uint32_t>& lengths, void* buffer) {
  std::size_t offset = 0;
  for (const std::uint32_t length : lengths) {
    std::memcpy(buffer, content.data() + offset, length);
    ASSERT_TRUE(write_file(file, buffer, length)) << "piece at " << offset;
    offset += length;
  }
  ASSERT_EQ(offset, content.size());
}

// Reads pieces of the given lengths through the layer and compares them.
void read_pieces(FileHandle file, const std::string& content,
                 const std::vector<std::uint32_t>& lengths, void* buffer) {
  std::size_t offset = 0;
  for (const std::uint32_t length : lengths) {
    std::memset(buffer, 0xee, length);
    ASSERT_TRUE(read_file(file, buffer, length)) << "piece at " << offset;
    ASSERT_EQ(std::string(static_cast<char*>(buffer), length), content.substr(offset, length))
        << "piece at " << offset;
    offset += length;
  }
}

TEST_F(Win32Platform, WholeSectorTransfersRoundTrip) {
  const std::string content = pattern_bytes(3 * 65536, 1);
  void* buffer = allocate_io_buffer(65536);
  ASSERT_NE(buffer, nullptr);

  const FileHandle out = open_unbuffered(path("a.dat"), FileAccess::ReadWrite,
                                         FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  write_pieces(out, content, {65536, 65536, 65536}, buffer);
  EXPECT_TRUE(write_file(out, buffer, 0)) << "a zero-length write succeeds";
  flush_file(out);
  close_file(out);
  EXPECT_EQ(file_content(path("a.dat")), content);

  const FileHandle in =
      open_unbuffered(path("a.dat"), FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(in, kInvalidFile);
  read_pieces(in, content, {65536, 65536, 65536}, buffer);
  EXPECT_TRUE(read_file(in, buffer, 0)) << "a zero-length read succeeds";
  std::uint32_t got = 1;
  EXPECT_TRUE(read_file_counted(in, buffer, 4096, got)) << "a counted read at the end succeeds";
  EXPECT_EQ(got, 0u) << "with nothing read";
  EXPECT_FALSE(read_file(in, buffer, 4096)) << "a read of a length at the end is short";
  close_file(in);
  release_io_buffer(buffer);
}

TEST_F(Win32Platform, TransfersThatDoNotFillSectorsArePaddedAndCutBack) {
  // Lengths and positions that start and end inside 4096-byte sectors.
  const std::vector<std::uint32_t> lengths = {1024, 1024, 3072, 8192, 1024, 2048, 5120};
  std::uint32_t total = 0;
  for (const std::uint32_t length : lengths) total += length;
  const std::string content = pattern_bytes(total, 2);
  void* buffer = allocate_io_buffer(8192);
  ASSERT_NE(buffer, nullptr);

  const FileHandle out =
      open_unbuffered(path("b.dat"), FileAccess::Write, FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  ASSERT_TRUE(use_sector_size(out, 4096));
  prepare_transfers(out, 8192);  // the scratch buffer, before any transfer
  write_pieces(out, content, lengths, buffer);
  EXPECT_TRUE(write_file(out, buffer, 0));
  flush_file(out);
  close_file(out);
  EXPECT_EQ(file_content(path("b.dat")), content) << "exact length, no padding left";

  const FileHandle in =
      open_unbuffered(path("b.dat"), FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(in, kInvalidFile);
  ASSERT_TRUE(use_sector_size(in, 4096));
  read_pieces(in, content, {2048, 1024, 7168, 4096, 1024}, buffer);
  const std::uint32_t left = total - 2048 - 1024 - 7168 - 4096 - 1024;
  std::memset(buffer, 0xee, 8192);
  std::uint32_t got = 0;
  EXPECT_TRUE(read_file_counted(in, buffer, 8192, got)) << "a counted read past the end succeeds";
  EXPECT_EQ(got, left);
  EXPECT_EQ(std::string(static_cast<char*>(buffer), left), content.substr(total - left));
  EXPECT_EQ(static_cast<unsigned char*>(buffer)[left], 0xee) << "nothing past the end is copied";
  EXPECT_FALSE(read_file(in, buffer, 1024)) << "a read of a length at the end is short";
  close_file(in);
  release_io_buffer(buffer);
}

TEST_F(Win32Platform, TransfersFromBuffersOffSectorBoundaries) {
  const std::string content = pattern_bytes(4096 * 3, 3);
  auto* block = static_cast<char*>(allocate_io_buffer(4 * 4096));
  ASSERT_NE(block, nullptr);
  char* unaligned = block + 1024;

  const FileHandle out =
      open_unbuffered(path("c.dat"), FileAccess::ReadWrite, FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  ASSERT_TRUE(use_sector_size(out, 4096));
  write_pieces(out, content, {4096, 8192}, unaligned);
  close_file(out);
  EXPECT_EQ(file_content(path("c.dat")), content);

  const FileHandle in =
      open_unbuffered(path("c.dat"), FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(in, kInvalidFile);
  ASSERT_TRUE(use_sector_size(in, 4096));
  read_pieces(in, content, {8192, 4096}, unaligned);
  close_file(in);
  release_io_buffer(block);
}

// Files that reach past 2 GiB and 4 GiB, where a 32-bit signed or unsigned
// offset or size would wrap. The sources are sparse where the volume allows
// (zeros but for marks on both sides of each boundary and at the start and
// end), so only the copies cost writes.
std::uint64_t size_of(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool position_at(HANDLE file, std::uint64_t offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  return SetFilePointer(file, static_cast<LONG>(offset & 0xffffffffu), &high, FILE_BEGIN) !=
             INVALID_SET_FILE_POINTER ||
         GetLastError() == NO_ERROR;
}

struct Mark {
  std::uint64_t offset;
  std::string bytes;
};

std::vector<Mark> boundary_marks(std::uint64_t size) {
  std::vector<Mark> marks = {{0, pattern_bytes(64, 10)}, {size - 64, pattern_bytes(64, 11)}};
  for (const std::uint64_t boundary : {std::uint64_t{1} << 31, std::uint64_t{1} << 32})
    if (boundary + 64 < size) marks.push_back({boundary - 64, pattern_bytes(128, 12 + boundary % 7)});
  return marks;
}

bool make_sparse_file(const std::string& path, std::uint64_t size, const std::vector<Mark>& marks) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  bool ok = position_at(file, size) && SetEndOfFile(file);
  for (const Mark& mark : marks) {
    DWORD written = 0;
    ok = ok && position_at(file, mark.offset) &&
         WriteFile(file, mark.bytes.data(), static_cast<DWORD>(mark.bytes.size()), &written,
                   nullptr) &&
         written == mark.bytes.size();
  }
  CloseHandle(file);
  return ok;
}

::testing::AssertionResult holds_marks(const std::string& path, std::uint64_t size,
                                       const std::vector<Mark>& marks) {
  if (size_of(path) != size)
    return ::testing::AssertionFailure() << path << " has " << size_of(path) << " bytes, not " << size;
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::testing::AssertionFailure() << "cannot open " << path;
  for (const Mark& mark : marks) {
    std::string found(mark.bytes.size() + 2, '\0');
    // One byte on either side too, which must be a zero of the sparse source.
    const std::uint64_t from = mark.offset == 0 ? 0 : mark.offset - 1;
    DWORD got = 0;
    if (!position_at(file, from) ||
        !ReadFile(file, &found[0], static_cast<DWORD>(found.size()), &got, nullptr)) {
      CloseHandle(file);
      return ::testing::AssertionFailure() << "cannot read " << path << " at " << from;
    }
    found.resize(got);
    std::string expected = mark.bytes;
    if (mark.offset != 0) expected.insert(expected.begin(), '\0');
    if (mark.offset + mark.bytes.size() < size) expected.push_back('\0');
    if (found.substr(0, expected.size()) != expected) {
      CloseHandle(file);
      return ::testing::AssertionFailure() << path << " differs near offset " << mark.offset;
    }
  }
  CloseHandle(file);
  return ::testing::AssertionSuccess();
}

// Copies `from` to `to` through the layer as the low-level trial does: 1 MiB
// pieces, then a tail of 1 KiB and 4 KiB that lies past the boundary and, with
// 4096-byte sectors, takes the padded path there. No flush: the copy is read
// back and deleted at once, and writing gigabytes to the medium would only
// make the test slow.
::testing::AssertionResult copy_through_layer(const std::string& from, const std::string& to,
                                              std::uint64_t size) {
  const std::uint32_t piece = 1 << 20;
  const FileHandle in = open_unbuffered(from, FileAccess::Read, FileDisposition::OpenExisting);
  const FileHandle out = open_unbuffered(to, FileAccess::Write, FileDisposition::CreateNew);
  void* buffer = allocate_io_buffer(piece);
  bool ok = in != kInvalidFile && out != kInvalidFile && buffer != nullptr &&
            use_sector_size(in, 4096) && use_sector_size(out, 4096);
  std::uint64_t done = 0;
  while (ok && size - done >= piece) {
    ok = read_file(in, buffer, piece) && write_file(out, buffer, piece);
    done += piece;
  }
  for (const std::uint32_t length : {1024u, 4096u}) {
    if (!ok || size - done < length) break;
    ok = read_file(in, buffer, length) && write_file(out, buffer, length);
    done += length;
  }
  if (in != kInvalidFile) close_file(in);
  if (out != kInvalidFile) close_file(out);
  release_io_buffer(buffer);
  if (!ok || done != size)
    return ::testing::AssertionFailure() << "copy stopped at " << done << " of " << size;
  return ::testing::AssertionSuccess();
}

TEST_F(Win32Platform, FilesPastTwoAndFourGiBCopyWholeThroughBothMethods) {
  const std::uint64_t tail = 5 * 1024;
  ULARGE_INTEGER free_bytes;
  ASSERT_TRUE(GetDiskFreeSpaceExA(dir.c_str(), &free_bytes, nullptr, nullptr));
  if (free_bytes.QuadPart < (std::uint64_t{9} << 29)) {
    const std::string reason = "needs 4.5 GiB free beside " + dir;
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") FAIL() << "CI=true, cannot skip: " << reason;
    GTEST_SKIP() << reason;
  }
  for (const std::uint64_t size : {(std::uint64_t{1} << 31) + tail, (std::uint64_t{1} << 32) + tail}) {
    SCOPED_TRACE("size " + std::to_string(size));
    const std::vector<Mark> marks = boundary_marks(size);
    ASSERT_TRUE(make_sparse_file(path("big.dat"), size, marks));
    ASSERT_TRUE(holds_marks(path("big.dat"), size, marks));

    EXPECT_TRUE(copy_through_layer(path("big.dat"), path("ll.dat"), size));
    EXPECT_TRUE(holds_marks(path("ll.dat"), size, marks)) << "low-level copy";
    DeleteFileA(path("ll.dat").c_str());

    EXPECT_TRUE(copy_whole_file(path("big.dat"), path("hl.dat")));
    EXPECT_TRUE(holds_marks(path("hl.dat"), size, marks)) << "whole-file copy";
    DeleteFileA(path("hl.dat").c_str());
  }
}

TEST_F(Win32Platform, SectorSizeOverrideIsRefusedWhenItCannotApply) {
  const FileHandle out =
      open_unbuffered(path("d.dat"), FileAccess::Write, FileDisposition::CreateNew);
  ASSERT_NE(out, kInvalidFile);
  EXPECT_FALSE(use_sector_size(out, 3000)) << "not a power of two";
  EXPECT_FALSE(use_sector_size(out, 0));
  void* buffer = allocate_io_buffer(4096);
  ASSERT_TRUE(write_file(out, buffer, 4096));
  EXPECT_FALSE(use_sector_size(out, 4096)) << "the file is in use already";
  close_file(out);
  EXPECT_FALSE(use_sector_size(out, 4096)) << "the file is closed";
  release_io_buffer(buffer);
}

TEST_F(Win32Platform, OpeningCreatesOnlyNewFilesAndRefusesSharing) {
  EXPECT_EQ(open_unbuffered(path("missing.dat"), FileAccess::Read, FileDisposition::OpenExisting),
            kInvalidFile);
  EXPECT_EQ(open_unbuffered(path("no\\such\\dir.dat"), FileAccess::Write,
                            FileDisposition::CreateNew),
            kInvalidFile);

  write_plain_file(path("old.dat"), "earlier content");
  Outcome failed;
  EXPECT_EQ(open_unbuffered(path("old.dat"), FileAccess::Write, FileDisposition::CreateNew, &failed),
            kInvalidFile);
  EXPECT_EQ(failed.operation, "create");
  EXPECT_EQ(file_content(path("old.dat")), "earlier content") << "an existing file is not replaced";

  const FileHandle made =
      open_unbuffered(path("new.dat"), FileAccess::Write, FileDisposition::CreateNew);
  ASSERT_NE(made, kInvalidFile);
  // Opened without sharing: nobody else gets at the file while it is open.
  EXPECT_EQ(open_unbuffered(path("new.dat"), FileAccess::Read, FileDisposition::OpenExisting),
            kInvalidFile);
  const HANDLE other = CreateFileA(path("new.dat").c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  set_compression_off(made);  // no compression on this volume or not: the file stays usable
  close_file(made);
  EXPECT_EQ(file_content(path("new.dat")), "");
}

// A progress routine that never stops a copy.
bool stop_never(void*, std::uint64_t) { return true; }

TEST_F(Win32Platform, WholeFileCopyCreatesOnlyNewFiles) {
  const std::string content = pattern_bytes(70000, 4);
  write_plain_file(path("src.dat"), content);
  ASSERT_TRUE(copy_whole_file(path("src.dat"), path("dst.dat")));
  EXPECT_EQ(file_content(path("dst.dat")), content);
  write_plain_file(path("dst.dat"), "something else, longer than nothing");
  EXPECT_FALSE(copy_whole_file(path("src.dat"), path("dst.dat"))) << "an existing file stays";
  EXPECT_EQ(file_content(path("dst.dat")), "something else, longer than nothing");
  EXPECT_FALSE(copy_whole_file(path("src.dat"), path("dst.dat"), {stop_never, nullptr}))
      << "with a progress routine too";
  EXPECT_EQ(file_content(path("dst.dat")), "something else, longer than nothing");
  EXPECT_FALSE(copy_whole_file(path("none.dat"), path("dst2.dat")));
  EXPECT_FALSE(exists(path("dst2.dat")));

  EXPECT_TRUE(DeleteFileA(path("dst.dat").c_str()));
  EXPECT_FALSE(exists(path("dst.dat")));
}

TEST_F(Win32Platform, TreeRemovalDeletesTheWholeTree) {
  ASSERT_TRUE(CreateDirectoryA(path("tree").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(path("tree\\sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(path("tree\\sub\\deeper").c_str(), nullptr));
  write_plain_file(path("tree\\a.dat"), "a");
  write_plain_file(path("tree\\sub\\b.dat"), "b");
  write_plain_file(path("tree\\sub\\deeper\\c.dat"), "c");
  write_plain_file(path("beside.dat"), "beside");

  EXPECT_TRUE(remove_tree(path("tree")));
  EXPECT_FALSE(exists(path("tree")));
  EXPECT_EQ(file_content(path("beside.dat")), "beside");
}

TEST_F(Win32Platform, TreeRemovalLeavesATopThatIsNoDirectory) {
  write_plain_file(path("plain"), "plain");
  EXPECT_FALSE(remove_tree(path("plain")));
  EXPECT_FALSE(remove_tree(path("plain") + "\\"));
  EXPECT_EQ(file_content(path("plain")), "plain");
  EXPECT_FALSE(remove_tree(path("absent")));
}

TEST_F(Win32Platform, TreeRemovalStopsAtAFileInUse) {
  ASSERT_TRUE(CreateDirectoryA(path("busy").c_str(), nullptr));
  write_plain_file(path("busy\\held.dat"), "held");
  const FileHandle held =
      open_unbuffered(path("busy\\held.dat"), FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(held, kInvalidFile);
  EXPECT_FALSE(remove_tree(path("busy")));
  EXPECT_TRUE(exists(path("busy\\held.dat")));
  close_file(held);
  EXPECT_TRUE(remove_tree(path("busy")));
  EXPECT_FALSE(exists(path("busy")));
}

// Live directory links cannot be made everywhere (they need a privilege on
// Windows, and wine does not create them), so the kinds are checked from
// the attributes the listing reports.
TEST(Win32EntryKinds, DirectoriesThatAreReparsePointsAreLinks) {
  EXPECT_EQ(entry_kind_of(FILE_ATTRIBUTE_DIRECTORY), EntryKind::Directory);
  EXPECT_EQ(entry_kind_of(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            EntryKind::Directory);
  EXPECT_EQ(entry_kind_of(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            EntryKind::DirectoryLink);
  EXPECT_EQ(entry_kind_of(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                          FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            EntryKind::DirectoryLink) << "a junction such as those in a user profile";
  EXPECT_EQ(entry_kind_of(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE), EntryKind::File)
      << "a file symbolic link is deleted as a file";
  EXPECT_EQ(entry_kind_of(FILE_ATTRIBUTE_NORMAL), EntryKind::File);
  EXPECT_EQ(entry_kind_of(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY), EntryKind::File);
}

// Where GetVolumePathNameA is missing (before Windows 2000), a path's volume
// is its drive root or share.
TEST(Win32VolumeRoots, DriveRootOrShareBeginsAFullPath) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\", "C:\\"},
      {"d:\\Varnoquelbit1\\test0.dat", "d:\\"},
      {"\\\\server\\share\\dir\\file", "\\\\server\\share\\"},
      {"\\\\server\\share", "\\\\server\\share\\"},
      {"\\\\server\\share\\", "\\\\server\\share\\"},
      {"\\\\server", ""},
      {"\\\\server\\", ""},
      {"C:", ""},
      {"C:relative", ""},
      {"relative\\path", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(drive_or_share_root(c.first), c.second) << c.first;
}

TEST_F(Win32Platform, VolumeFiguresOfTheTemporaryDirectorysDrive) {
  const std::string drive = dir.substr(0, 2);  // "C:" as a user would write it
  ASSERT_EQ(drive[1], ':');
  VolumeFigures figures;
  ASSERT_TRUE(query_volume(drive, figures));
  // Whole sectors of 512 bytes at least.
  EXPECT_GT(figures.total_bytes, 0u);
  EXPECT_EQ(figures.total_bytes % 512, 0u);
  EXPECT_LE(figures.free_bytes, figures.total_bytes);

  VolumeFigures with_backslash;
  ASSERT_TRUE(query_volume(drive + "\\", with_backslash));
  EXPECT_EQ(with_backslash.total_bytes, figures.total_bytes);

  // A drive letter that names no volume.
  const DWORD drives = GetLogicalDrives();
  char letter = 0;
  for (char c = 'Q'; c <= 'Y' && letter == 0; ++c)
    if ((drives & (1u << (c - 'A'))) == 0) letter = c;
  ASSERT_NE(letter, 0) << "every drive letter from Q to Y is in use";
  EXPECT_FALSE(query_volume(std::string(1, letter) + ":", figures));
  EXPECT_FALSE(query_volume("not a drive", figures));
}

TEST_F(Win32Platform, VolumeDescriptionOfTheTemporaryDirectorysDrive) {
  const std::string drive = dir.substr(0, 2);
  VolumeDescription volume;
  ASSERT_TRUE(describe_volume(drive, volume));
  EXPECT_EQ(volume.mount_point, drive + "\\");
  EXPECT_EQ(volume.is_mount_point, true);
  EXPECT_FALSE(volume.file_system.empty());  // what the system (or wine) calls it
  EXPECT_EQ(volume.drive_type, "fixed");
  EXPECT_EQ(volume.cache, VolumeCache::None);
  VolumeFigures figures;
  ASSERT_TRUE(query_volume(drive, figures));
  ASSERT_TRUE(volume.figures.has_value());
  EXPECT_EQ(volume.figures->total_bytes, figures.total_bytes);
  ASSERT_TRUE(volume.disk.logical_sector_bytes.has_value());
  EXPECT_GE(*volume.disk.logical_sector_bytes, 512u);
  VolumeIdentity identity;
  ASSERT_TRUE(query_volume_identity(drive, identity));
  EXPECT_EQ(identity, volume.identity);

  // A folder on the volume: the same volume, not its root.
  VolumeDescription folder;
  ASSERT_TRUE(describe_volume(dir, folder));
  EXPECT_EQ(folder.identity, volume.identity);
  EXPECT_EQ(folder.mount_point, volume.mount_point);
  EXPECT_EQ(folder.is_mount_point, false);
  EXPECT_EQ(folder.path, dir + "\\");
  std::printf("%s is '%s' (%s), label '%s', serial %08lx\n", drive.c_str(),
              volume.mount_point.c_str(), volume.file_system.c_str(), volume.label.c_str(),
              static_cast<unsigned long>(volume.identity.value));

  // A missing folder, or a file, is no place for work directories.
  write_plain_file(path("file"), "x");
  for (const std::string& bad : {path("missing"), path("file")}) {
    const Outcome failed = describe_volume(bad, folder);
    EXPECT_FALSE(failed) << bad;
    EXPECT_EQ(failed.operation, "query volume");
    EXPECT_FALSE(query_volume_identity(bad, identity)) << bad;
  }
}

TEST(Win32System, DescriptionGivesTheVersionTheProcessorsAndTheMemory) {
  const SystemDescription system = describe_system();
  ASSERT_TRUE(system.windows_version.has_value());
  EXPECT_GE(system.windows_version->major, 5u);
  EXPECT_GT(system.windows_version->build, 0u);
  EXPECT_EQ(system.windows_64bit, query_64bit_system());
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_EQ(system.logical_cpus, info.dwNumberOfProcessors);
  ASSERT_TRUE(system.memory_bytes.has_value());
  EXPECT_GT(*system.memory_bytes, 16u << 20);
  EXPECT_TRUE(system.kernel_name.empty());
  EXPECT_TRUE(system.distribution.empty());
  std::printf("Windows %u.%u.%u, %s, processor '%s'\n", system.windows_version->major,
              system.windows_version->minor, system.windows_version->build,
              *system.windows_64bit ? "64-bit" : "32-bit", system.cpu_model.c_str());
}

TEST_F(Win32Platform, ClocksAdvanceWithTime) {
  const std::uint32_t before = milliseconds_now();
  Sleep(100);
  const std::uint32_t elapsed = milliseconds_now() - before;
  EXPECT_GE(elapsed, 80u);
  EXPECT_LT(elapsed, 5000u);

  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  const std::int64_t unix_seconds = static_cast<std::int64_t>(ticks / 10000000 - 11644473600ULL);
  const std::int64_t seconds = calendar_seconds_now();
  EXPECT_LE(std::llabs(seconds - unix_seconds), 2);
}

TEST_F(Win32Platform, IoBuffersArePageAligned) {
  for (const std::size_t bytes : {std::size_t{0}, std::size_t{1024}, std::size_t{1048576}}) {
    void* buffer = allocate_io_buffer(bytes);
    ASSERT_NE(buffer, nullptr) << bytes;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer) % 4096, 0u) << bytes;
    if (bytes > 0) std::memset(buffer, 0x5a, bytes);
    release_io_buffer(buffer);
  }
  release_io_buffer(nullptr);
}

TEST_F(Win32Platform, VersionIsReadAndThisProcessSeesA64BitSystem) {
  OsVersion version;
  ASSERT_TRUE(query_os_version(version));
  EXPECT_GE(version.major, 4u);
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
#ifdef _WIN64
  EXPECT_TRUE(query_64bit_system());
#else
  EXPECT_EQ(query_64bit_system(), wow64 != FALSE);
#endif
}

TEST_F(Win32Platform, ClipboardReceivesTheTextAsPlainText) {
  const std::string text = "Varnoquelbit Build: [x]\r\nOS: Unknown\r\n";
  copy_to_clipboard(text);
  ASSERT_TRUE(OpenClipboard(nullptr));
  const HANDLE data = GetClipboardData(CF_TEXT);
  ASSERT_NE(data, nullptr);
  const char* held = static_cast<const char*>(GlobalLock(data));
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(std::string(held), text);
  GlobalUnlock(data);
  CloseClipboard();
}

// Last in the file: the request stays recorded for the rest of the process,
// and a second one would end it.
TEST(Win32Interruption, ConsoleEventsRequestAnInterruption) {
  EXPECT_FALSE(interruption_requested());
  EXPECT_FALSE(on_console_event(CTRL_LOGOFF_EVENT)) << "left to the system";
  EXPECT_FALSE(interruption_requested());
  EXPECT_TRUE(on_console_event(CTRL_C_EVENT));
  EXPECT_TRUE(interruption_requested());
  EXPECT_EQ(static_cast<DWORD>(interrupted_exit_status()), STATUS_CONTROL_C_EXIT);
}

// The indicator's thread: started through CreateThread, it runs beside the
// test's own; the wake-up keeps a set for a later wait and tells a timeout.
TEST(SideThread, RunsBesideAndWakesUp) {
  WakeUp started;
  struct Seen {
    DWORD thread_id = 0;
    WakeUp* started = nullptr;
  } seen;
  seen.started = &started;
  SideThread thread;
  ASSERT_TRUE(thread.start(
      [](void* context) {
        Seen& s = *static_cast<Seen*>(context);
        s.thread_id = GetCurrentThreadId();
        s.started->set();
      },
      &seen));
  EXPECT_TRUE(started.wait(kWaitForever));
  thread.join();
  EXPECT_FALSE(thread.running());
  EXPECT_NE(seen.thread_id, 0u);
  EXPECT_NE(seen.thread_id, GetCurrentThreadId());

  WakeUp wake;
  EXPECT_FALSE(wake.wait(20)) << "nothing set: the wait times out";
  wake.set();
  wake.set();
  EXPECT_TRUE(wake.wait(0)) << "a set is kept for the next wait";
  EXPECT_FALSE(wake.wait(0)) << "two sets count as one";
}

}  // namespace
