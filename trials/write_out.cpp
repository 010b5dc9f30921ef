#include "trials/write_out.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "trials/work_directory.h"

std::optional<std::uint32_t> write_out_copies(ConsolePrinter& printer,
                                              const std::string& work_directory,
                                              std::int32_t file_count, Outcome& failed) {
  const std::uint32_t start = milliseconds_now();
  for (std::int32_t i = 0; i < file_count; ++i) {
    if (interruption_requested()) return {};
    const OpenFile copy(copy_file_path(work_directory, i), FileAccess::Read,
                        FileDisposition::OpenExisting);
    if (copy.handle() == kInvalidFile) continue;
    bool offered = false;
    failed = write_out_data(copy.handle(), offered);
    if (!failed) {
      failed.path = system_path(copy_file_path(work_directory, i));
      return {};
    }
    if (!offered) return {};
    printer.counters().files_done(i + 1);
  }
  // Unsigned arithmetic: a clock wrap still gives the elapsed time.
  return milliseconds_now() - start;
}
