#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

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
