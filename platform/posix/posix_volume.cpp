// Volume figures on POSIX from statvfs: fragments of f_frsize bytes, and the
// free ones those available to this user (f_bavail), as the Windows call
// reports them.

#include "platform/volume.h"

#include <sys/statvfs.h>

#include <cstdint>

#include "platform/posix/posix_failure.h"
#include "platform/posix/posix_paths.h"

namespace {

std::uint64_t saturated_product(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

}  // namespace

Outcome query_volume(const std::string& drive, VolumeFigures& figures) {
  const std::string native = native_path(drive);
  struct statvfs status;
  if (::statvfs(native.c_str(), &status) != 0) return errno_failure("query volume", native);
  const std::uint64_t unit = status.f_frsize != 0 ? status.f_frsize : status.f_bsize;
  figures.free_bytes = saturated_product(status.f_bavail, unit);
  figures.total_bytes = saturated_product(status.f_blocks, unit);
  return success();
}
