#include "trials/work_directory.h"

#include "platform/clock.h"
#include "platform/directories.h"
#include "platform/files.h"

namespace {
// Pattern and entry paths are built in 260-byte buffers.
constexpr std::size_t kMaxTreePathLength = 259;
}  // namespace

std::string work_directory_path(const std::string& drive) {
  const auto seconds = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(calendar_seconds_now()));
  return drive + "\\Varnoquelbit" + std::to_string(seconds);
}

std::string test_file_path(const std::string& work_directory, std::int32_t index) {
  return work_directory + "\\test" + std::to_string(index) + ".dat";
}

std::string copy_file_path(const std::string& work_directory, std::int32_t index) {
  return work_directory + "\\copy" + std::to_string(index) + ".dat";
}

bool trial_paths_fit(const std::string& work_directory, std::int32_t file_count) {
  if (work_directory.size() > kMaxTrialPathLength) return false;
  if (file_count <= 0) return true;
  // The highest index gives the longest names; test and copy names are equally long.
  return test_file_path(work_directory, file_count - 1).size() <= kMaxTrialPathLength;
}

bool remove_tree(const std::string& path) {
  std::string prefix = path;
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  const std::string pattern = prefix + "*";
  if (pattern.size() > kMaxTreePathLength) return false;

  DirectoryEntry entry;
  const DirectorySearch search = find_first_entry(pattern, entry);
  if (search == kInvalidSearch) return false;

  bool more = true;
  while (more) {
    if (entry.name.empty() || entry.name[0] != '.') {
      const std::string entry_path = prefix + entry.name;
      bool removed = false;
      if (entry_path.size() <= kMaxTreePathLength) {
        switch (entry.kind) {
          case EntryKind::Directory: removed = remove_tree(entry_path); break;
          case EntryKind::DirectoryLink: removed = remove_directory(entry_path); break;
          case EntryKind::File: removed = delete_file(entry_path); break;
        }
      }
      if (!removed) {
        find_close(search);
        return false;
      }
    }
    more = find_next_entry(search, entry);
  }
  find_close(search);
  return remove_directory(path);
}
