// One timed trial of the HL method: every test file copied beside itself with
// the operating system's whole-file copy.
#pragma once
#include <cstdint>
#include <string>

// Makes a fresh work directory of test files on `drive`, times copying them,
// and removes the directory. Returns the elapsed milliseconds, or 0 after a
// failure it has reported on the console.
std::uint32_t run_hl_trial(const std::string& drive, std::int64_t file_kib,
                           std::int32_t file_count);

// The timed copy phase on an existing work directory of test files. Sets
// `elapsed_ms` and returns true, or reports "Copy Failed!" and returns false.
bool copy_all_hl(const std::string& work_directory, std::int32_t file_count,
                 std::uint32_t& elapsed_ms);
