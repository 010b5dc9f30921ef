// Volume identity and description on Windows: the root of the volume that
// holds the directory (GetVolumePathNameA, looked up at run time, as it came
// with Windows 2000), its serial number, label and file system name
// (GetVolumeInformationA), its drive type (GetDriveTypeA) and its figures.
// Windows does not say what disk is behind a volume without administrator
// rights, so only the logical sector size is given of it.
#include <windows.h>

#include "platform/volume_description.h"
#include "platform/win32/win32_failure.h"
#include "platform/win32/win32_files_internal.h"

namespace {

// The full path of the directory the drive's work directories are made in,
// and the root of the volume that holds it, with its closing backslash.
Outcome find_volume_root(const std::string& drive, std::string& full, std::string& root) {
  const std::string directory = drive + "\\";
  char full_path[MAX_PATH];
  const DWORD length = GetFullPathNameA(directory.c_str(), MAX_PATH, full_path, nullptr);
  if (length == 0) return last_error_failure("query volume", directory);
  if (length >= MAX_PATH)
    return last_error_failure("query volume", directory, ERROR_FILENAME_EXCED_RANGE);
  full = full_path;
  // The volume root of any path can be named, whether the path exists or not.
  const DWORD attributes = GetFileAttributesA(full_path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return last_error_failure("query volume", full);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return last_error_failure("query volume", full, ERROR_DIRECTORY);

  if (!volume_root(full, root)) return last_error_failure("query volume", full);
  if (root.empty() || root.back() != '\\') root += '\\';
  return success();
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Paths compared as the file systems do for drive letters and ASCII names.
bool same_path(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

const char* drive_type_name(UINT type) {
  switch (type) {
    case DRIVE_REMOVABLE: return "removable";
    case DRIVE_FIXED: return "fixed";
    case DRIVE_REMOTE: return "remote";
    case DRIVE_CDROM: return "cdrom";
    case DRIVE_RAMDISK: return "ramdisk";
    default: return "";
  }
}

}  // namespace

Outcome query_volume_identity(const std::string& drive, VolumeIdentity& identity) {
  std::string full, root;
  Outcome found = find_volume_root(drive, full, root);
  if (!found) return found;
  DWORD serial = 0;
  if (!GetVolumeInformationA(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
    return last_error_failure("query volume", root);
  identity.value = serial;
  return success();
}

Outcome describe_volume(const std::string& drive, VolumeDescription& description) {
  description = VolumeDescription();
  std::string full, root;
  Outcome found = find_volume_root(drive, full, root);
  if (!found) return found;
  description.path = full;
  char label[MAX_PATH + 1];
  char file_system[MAX_PATH + 1];
  DWORD serial = 0, longest_name = 0, flags = 0;
  if (!GetVolumeInformationA(root.c_str(), label, sizeof(label), &serial, &longest_name, &flags,
                             file_system, sizeof(file_system)))
    return last_error_failure("query volume", root);
  description.identity.value = serial;
  description.label = label;
  description.file_system = file_system;
  description.mount_point = root;
  description.is_mount_point = same_path(full, root);

  const UINT type = GetDriveTypeA(root.c_str());
  description.drive_type = drive_type_name(type);
  if (type == DRIVE_RAMDISK) description.cache = VolumeCache::Memory;
  if (type == DRIVE_REMOTE) description.cache = VolumeCache::Network;

  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, total_clusters = 0;
  if (GetDiskFreeSpaceA(root.c_str(), &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                        &total_clusters) &&
      bytes_per_sector != 0)
    description.disk.logical_sector_bytes = bytes_per_sector;
  VolumeFigures figures;
  if (query_volume(root, figures)) description.figures = figures;
  return success();
}

// Volume size and free space.
namespace {

std::uint64_t bytes_of(DWORD clusters, std::uint64_t cluster_bytes) {
  if (cluster_bytes != 0 && clusters > UINT64_MAX / cluster_bytes) return UINT64_MAX;
  return clusters * cluster_bytes;
}

}  // namespace

Outcome query_volume(const std::string& drive, VolumeFigures& figures) {
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, total_clusters = 0;
  // The drive string is the root path exactly as the user wrote it.
  if (!GetDiskFreeSpaceA(drive.c_str(), &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                         &total_clusters))
    return last_error_failure("query volume", drive);
  // Cluster bytes fit 64 bits; cluster counts fit 32: the products fit 96.
  const std::uint64_t cluster_bytes =
      static_cast<std::uint64_t>(sectors_per_cluster) * bytes_per_sector;
  figures.free_bytes = bytes_of(free_clusters, cluster_bytes);
  figures.total_bytes = bytes_of(total_clusters, cluster_bytes);
  return success();
}
