#include "trials/copy_method.h"

#include <cassert>
#include <cstring>

#include "console/texts.h"
#include "platform/files.h"

namespace {

const CopyMethodRow kRows[] = {
    {CopyMethod::HL, "HL", false, copy_all_hl, text::kHlCopyFailed, true},
    {CopyMethod::LL, "LL", true, copy_all_ll, text::kLlCopyFailed, false},
};

}  // namespace

const CopyMethodRow& copy_method_row(CopyMethod method) {
  for (const CopyMethodRow& row : kRows)
    if (row.method == method) return row;
  assert(!"every copy method has a row");
  return kRows[0];
}

const CopyMethodRow* copy_method_of_line(const std::string& line) {
  const CopyMethodRow* found = nullptr;
  std::size_t found_length = 0;
  for (const CopyMethodRow& row : kRows) {
    const std::size_t length = std::strlen(row.keyword);
    if (length > found_length && line.compare(0, length, row.keyword) == 0) {
      found = &row;
      found_length = length;
    }
  }
  return found;
}

std::string copy_path_text(const CopyMethodRow& method, std::int64_t buffer_kib) {
  if (!method.takes_buffer) return whole_file_copy_text();
  const std::string buffer = buffer_kib % 1024 == 0 ? std::to_string(buffer_kib / 1024) + " MiB"
                                                    : std::to_string(buffer_kib) + " KiB";
  return std::string(cache_bypass_text()) + ", " + buffer + " buffer";
}
