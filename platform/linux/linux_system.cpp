// The Linux answers to what the POSIX layer needs beyond POSIX.
#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include "platform/posix/posix_system.h"

bool open_pipe(Descriptor& read_end, Descriptor& write_end, bool nonblocking) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | (nonblocking ? O_NONBLOCK : 0)) != 0) return false;
  read_end = above_standard_streams(Descriptor(ends[0]));
  write_end = above_standard_streams(Descriptor(ends[1]));
  if (read_end && write_end) return true;
  read_end.reset();
  write_end.reset();
  return false;
}

rlim_t open_file_ceiling() {
  std::ifstream file("/proc/sys/fs/nr_open");
  unsigned long long ceiling = 0;
  if (file >> ceiling) return static_cast<rlim_t>(ceiling);
  return 0;
}
