#include <stdlib.h>

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
