#include "trials/copy_method.h"

#include <cassert>
#include <cstring>

#include "trials/texts.h"

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
