// Details of the Linux volume and system descriptions that their own tests
// reach: readings of system texts that no volume of a test machine shows.
#pragma once
#include <cstdint>
#include <string>

#include "platform/volume_description.h"

// The whole of a small system file (/proc, /sys, /etc); empty when it cannot
// be read.
std::string read_system_text(const std::string& path);

// The transport of a whole disk from its sysfs device path, the real path of
// /sys/block/<name> ("/sys/devices/pci0000:00/0000:00:02.0/virtio1/block/vda"
// gives "virtio"); empty when the path does not tell.
std::string disk_transport(const std::string& sysfs_device_path);

// The value of `key` in an os-release text, its shell quoting undone; empty
// when the key is missing.
std::string os_release_value(const std::string& text, const std::string& key);

// The cache a volume's transfers go through, from statfs's f_type and the
// mount table's type.
VolumeCache volume_cache_of(std::uint64_t statfs_type, const std::string& mount_type);
