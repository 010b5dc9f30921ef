// Writing a trial's copies out of the system's cache after its clock. A copy
// method may stop its clock while its copies are still in the cache (the
// system's whole-file copy on Linux leaves them to the write-back): they reach
// the medium only later. The trial measures how much later, apart from the
// read-back, which then reads what is already on the medium.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "console/console_printer.h"
#include "platform/failure.h"

// Writes copy files 0 to file_count - 1 of the work directory out of the
// system's cache to the medium, waiting for each, and returns the
// milliseconds that took for all of them together. Returns nothing where the
// system offers no such write-out, and once the run is interrupted (it stops
// at the next copy). A copy that cannot be opened is passed over: the
// read-back that follows reports it. A copy whose data did not reach the
// medium stops it too, with the failure and the copy's path in `failed`.
std::optional<std::uint32_t> write_out_copies(ConsolePrinter& printer,
                                              const std::string& work_directory,
                                              std::int32_t file_count, Outcome& failed);
