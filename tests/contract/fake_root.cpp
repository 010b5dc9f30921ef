#include "fake/fake_platform.h"
#include "tests/contract/contract_root.h"

std::string make_contract_root() {
  fake::reset();
  fake::state().directories.insert("C:\\contract");
  return "C:\\contract";
}

void remove_contract_root(const std::string&) { fake::reset(); }

std::string contract_drive(const std::string&) { return "C:"; }

bool make_contract_link(const std::string& link, const std::string& target) {
  fake::state().file_links[link] = target;
  return true;
}

bool contract_root_in_mount_table(const std::string&) { return true; }

bool delete_contract_file(const std::string& path) {
  return static_cast<bool>(fake::delete_file(path));
}
