// What the POSIX layer takes from the layer of the particular system beneath
// it, for the calls POSIX leaves out: platform/linux answers for Linux.
#pragma once
#include <sys/resource.h>

#include "platform/posix/posix_descriptor.h"

// A pipe whose two ends are close-on-exec and above the standard streams,
// and non-blocking when asked. False, with both owners empty, when the
// system gives none.
bool open_pipe(Descriptor& read_end, Descriptor& write_end, bool nonblocking);

// The kernel's ceiling for open files per process, for a soft limit where
// the hard one is unlimited; 0 when it cannot be told.
rlim_t open_file_ceiling();
