// One timed trial of the LL method: every file opened with the cache bypassed
// before the clock starts, then copied through one transfer buffer.
#pragma once
#include <cstdint>
#include <string>

// Makes a fresh work directory of test files on `drive`, times copying them
// through a buffer of buffer_kib KiB, and removes the directory. Returns the
// elapsed milliseconds, or 0 after a failure it has reported on the console.
// buffer_kib must be at least 1 and below 4,194,304 (4 GiB).
std::uint32_t run_ll_trial(const std::string& drive, std::int64_t file_kib,
                           std::int32_t file_count, std::int64_t buffer_kib);

// Opens, copies (timed) and closes every file of an existing work directory
// through `buffer`, which holds buffer_kib KiB. Sets `elapsed_ms` and returns
// true, or reports the failure and returns false.
bool copy_all_ll(const std::string& work_directory, std::int64_t file_kib,
                 std::int32_t file_count, std::int64_t buffer_kib, void* buffer,
                 std::uint32_t& elapsed_ms);

// The length of the first copy transfer, since the last call, of an LL trial
// that went through the system's file cache because the volume refused
// direct I/O for it (or keeps its files in memory); 0 when none did.
std::uint32_t take_cached_copy_length();
