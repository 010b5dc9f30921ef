// Transfer buffers suitable for cache-bypassing I/O: aligned at least to the
// page size, so every platform's unbuffered reads and writes accept them.
#pragma once
#include <cstddef>

// Returns nullptr when the memory cannot be had.
void* allocate_io_buffer(std::size_t bytes);
// Releasing nullptr does nothing.
void release_io_buffer(void* buffer);
