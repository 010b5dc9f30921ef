// Details of the Windows file layer that its own tests reach.
#pragma once
#include <cstdint>
#include <string>

#include "platform/files.h"

// Treats a file just opened, before any transfer, as lying on a volume with
// sectors of `sector_bytes` (a power of two), so that transfers which do not
// fill whole sectors of that size take the padded path on any volume.
// False when the file is unknown, already used or the size is not a power of two.
bool use_sector_size(FileHandle file, std::uint32_t sector_bytes);

// The drive root (C:\) or share (\\server\share\) that begins a full
// path, with its closing backslash; empty for any other path. The volume of a
// path on systems that cannot name volumes mounted on folders.
std::string drive_or_share_root(const std::string& full);

// The root of the volume that holds the full path `full` (a folder a volume
// is mounted on included, where the system can name it). False, with the
// thread's last error set, when it cannot be named.
bool volume_root(const std::string& full, std::string& root);
