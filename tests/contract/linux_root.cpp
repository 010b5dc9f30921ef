#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/directories.h"
#include "tests/contract/contract_root.h"

std::string make_contract_root() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/varno_contract.XXXXXX";
  return mkdtemp(&pattern[0]) != nullptr ? pattern : std::string();
}

std::string contract_drive(const std::string& root) { return root; }

void remove_contract_root(const std::string& root) {
  if (!root.empty()) remove_tree(root);
}

bool make_contract_link(const std::string& link, const std::string& target) {
  std::string from = link, to = target;
  std::replace(from.begin(), from.end(), '\\', '/');
  std::replace(to.begin(), to.end(), '\\', '/');
  return ::symlink(to.c_str(), from.c_str()) == 0;
}

// Read here from the mount table's mount points: one that is the root's real
// path or a directory above it holds the root.
bool contract_root_in_mount_table(const std::string& root) {
  char* resolved = ::realpath(root.c_str(), nullptr);
  if (resolved == nullptr) return false;
  const std::string real = resolved;
  std::free(resolved);
  std::ifstream table("/proc/self/mountinfo");
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, mount_root, mount_point;
    if (!(fields >> id >> parent >> device >> mount_root >> mount_point)) continue;
    if (mount_point == "/" || real == mount_point ||
        real.compare(0, mount_point.size() + 1, mount_point + "/") == 0)
      return true;
  }
  return false;
}

bool delete_contract_file(const std::string& path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  return ::unlink(native.c_str()) == 0;
}
