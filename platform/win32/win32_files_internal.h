// Details of the Windows file layer that its own tests reach.
#pragma once
#include <cstdint>

#include "platform/files.h"

// Treats a file just opened, before any transfer, as lying on a volume with
// sectors of `sector_bytes` (a power of two), so that transfers which do not
// fill whole sectors of that size take the padded path on any volume.
// False when the file is unknown, already used or the size is not a power of two.
bool use_sector_size(FileHandle file, std::uint32_t sector_bytes);
