#include "driver/report_text.h"

#include <iomanip>
#include <sstream>

#include "testrun/shared_lines.h"
#include "trials/copy_method.h"
#include "trials/texts.h"

namespace {

// The test's header in the report, its fields padded to columns, up to the
// " : " before its average.
void write_header(std::ostream& out, const TestRecord& test) {
  const CopyMethodRow& row = copy_method_row(test.method);
  out << row.keyword << " " << test.drive << std::setw(5) << test.file_size;
  if (row.takes_buffer)
    out << text::kHeaderBuffer << std::setw(4) << test.buffer_size << text::kHeaderBufferEnd;
  out << " " << std::setw(4) << test.file_count << text::kHeaderFiles << std::setw(2)
      << test.trial_count << text::kReportHeaderEnd;
}

}  // namespace

std::string report_text(const RunRecord& record) {
  return record.banner + text::kReportLineEnd + record.os_line + text::kReportLineEnd +
         report_text_of_tests(record.tests);
}

std::string report_text_of_tests(const std::vector<TestRecord>& tests) {
  std::ostringstream out;
  for (const TestRecord& test : tests) {
    if (test.disk_line) out << disk_line_text(test.drive, *test.disk_line) << text::kReportLineEnd;
    if (headers_printed(test)) write_header(out, test);
    if (test.average) out << average_text(*test.average) << text::kReportLineEnd;
  }
  return out.str();
}
