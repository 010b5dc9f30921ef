#include "trials/copy_method.h"

#include "trials/texts.h"

namespace {

const CopyMethodRow kRows[] = {
    {CopyMethod::HL, "HL", false, copy_all_hl, text::kHlCopyFailed},
    {CopyMethod::LL, "LL", true, copy_all_ll, text::kLlCopyFailed},
};

}  // namespace

const CopyMethodRow& copy_method_row(CopyMethod method) {
  for (const CopyMethodRow& row : kRows)
    if (row.method == method) return row;
  return kRows[0];  // every enumerator has a row
}

const CopyMethodRow* copy_method_of_line(const std::string& line) {
  for (const CopyMethodRow& row : kRows)
    if (line.compare(0, std::char_traits<char>::length(row.keyword), row.keyword) == 0) return &row;
  return nullptr;
}
