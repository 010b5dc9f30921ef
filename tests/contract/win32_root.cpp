#include <windows.h>

#include <string>

#include "platform/directories.h"
#include "tests/contract/contract_root.h"

std::string make_contract_root() {
  char temp[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return "";
  for (unsigned n = 0; n < 1000; ++n) {
    const std::string root = std::string(temp) + "varno_contract_" +
                             std::to_string(GetCurrentProcessId()) + "_" + std::to_string(n);
    if (CreateDirectoryA(root.c_str(), nullptr)) return root;
  }
  return "";
}

std::string contract_drive(const std::string& root) { return root.substr(0, 2); }

void remove_contract_root(const std::string& root) {
  if (!root.empty()) remove_tree(root);
}

// Every Windows volume has a root path.
bool contract_root_in_mount_table(const std::string&) { return true; }

bool delete_contract_file(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }
