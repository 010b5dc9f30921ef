// Where the platform contract suite works: each layer it is linked with
// gives a fresh, empty directory as a drive string, and takes it away again.
#pragma once
#include <string>

std::string make_contract_root();
void remove_contract_root(const std::string& root);
// A drive string of the volume that holds the root, as a user would write it.
std::string contract_drive(const std::string& root);
// Whether the system's mount table lists a mount that holds the root: not so
// in a chroot or container whose root directory is no mount of its own.
bool contract_root_in_mount_table(const std::string& root);
// Deletes a file below the root: the suite's own clean-up, not a service of
// the layer under test.
bool delete_contract_file(const std::string& path);
// Makes a symbolic link at `link` (a path below the root) to `target`; the
// POSIX layers and the fake only.
bool make_contract_link(const std::string& link, const std::string& target);
