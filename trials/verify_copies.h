// Reading the copies back. After a trial's clock has stopped, every copy file
// must hold the bytes its test file was made with: a medium that loses or
// garbles data while every call reports success fails here instead of being
// given a speed.
#pragma once
#include <cstdint>
#include <string>

// Reads copy files 0 to file_count - 1 of the work directory past the
// system's file cache and compares each with the content make_test_files
// wrote when the run's generator stood at `first_state` (its state just
// before the test files were made); the expected bytes are drawn again from
// that state without touching the run's generator. Returns true when every
// copy holds exactly its bytes. Otherwise writes one line about the first
// copy that does not to standard error and returns false. Once the run is
// interrupted it stops at the next copy and returns false without a line.
bool copies_match_test_files(const std::string& work_directory, std::int64_t file_kib,
                             std::int32_t file_count, std::uint32_t first_state);
