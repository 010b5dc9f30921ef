#include "driver/configuration.h"

#include <climits>

#include "platform/console.h"
#include "platform/interruption.h"
#include "testrun/measurement.h"
#include "trials/texts.h"

namespace {

constexpr char kEndOfFile = 0x1a;  // Ctrl-Z
// The longest word or drive string a line may hold.
constexpr std::size_t kMaxWordLength = 99;

bool is_field_space(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

// Reads whitespace-separated fields from a line as the C library's scanf
// would, without its locale and without writing past a word buffer.
struct FieldReader {
  const std::string& text;
  std::size_t pos = 0;

  void skip_space() {
    while (pos < text.size() && is_field_space(text[pos])) ++pos;
  }

  bool word(std::string& out) {
    skip_space();
    const std::size_t start = pos;
    while (pos < text.size() && !is_field_space(text[pos])) ++pos;
    if (pos == start || pos - start > kMaxWordLength) return false;
    out.assign(text, start, pos - start);
    return true;
  }

  // A drive string: a word, or, when the field opens with a double quote,
  // everything up to the closing quote, blanks and tabs included. The quotes
  // are not part of it; the closing one must end the field.
  bool drive(std::string& out) {
    skip_space();
    if (pos >= text.size() || text[pos] != '"') return word(out);
    const std::size_t start = pos + 1;
    const std::size_t close = text.find('"', start);
    if (close == std::string::npos || close == start || close - start > kMaxWordLength)
      return false;
    if (close + 1 < text.size() && !is_field_space(text[close + 1])) return false;
    out.assign(text, start, close - start);
    pos = close + 1;
    return true;
  }

  // A signed decimal count; values beyond 32 bits saturate to the nearest limit.
  bool count(std::int32_t& out) {
    skip_space();
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
      negative = text[pos] == '-';
      ++pos;
    }
    const std::size_t start = pos;
    std::int64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      if (value <= INT64_C(1) << 40) value = value * 10 + (text[pos] - '0');
      ++pos;
    }
    if (pos == start) return false;
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    out = static_cast<std::int32_t>(value);
    return true;
  }
};

}  // namespace

LineKind parse_configuration_line(const std::string& line, TestLine& test) {
  if (line.empty() || line[0] == '#') return LineKind::Ignored;
  // The method is named by the line's opening characters; the rest of the
  // first word is not looked at.
  const CopyMethodRow* row = copy_method_of_line(line);
  if (row == nullptr) return LineKind::Error;

  // The fields end where a C string would: at the first NUL byte.
  const std::string text = line.substr(0, line.find('\0'));
  FieldReader fields{text};
  std::string method;
  TestLine parsed;
  parsed.method = row->method;
  const bool ok = fields.word(method) && fields.drive(parsed.drive) &&
                  fields.word(parsed.file_size) &&
                  (!row->takes_buffer || fields.word(parsed.buffer_size)) &&
                  fields.count(parsed.file_count) && fields.count(parsed.trial_count);
  if (!ok) return LineKind::Error;
  test = parsed;
  return LineKind::Test;
}

bool read_configuration_line(std::istream& in, std::string& line, bool& ended) {
  line.clear();
  if (ended) return false;
  bool any = false;
  for (;;) {
    // istream::get ends the input on a read error as on the end of the file:
    // a file buffer reports the error by throwing (a directory opened as the
    // configuration does so at its first read), and get turns that into a
    // state bit.
    const int c = in.get();
    if (c == std::char_traits<char>::eof() || c == kEndOfFile) {
      ended = true;
      return any;
    }
    any = true;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    line += static_cast<char>(c);
  }
}

void run_configured_tests(std::istream& in, RunContext& run) {
  std::string line;
  bool ended = false;
  while (!interruption_requested() && read_configuration_line(in, line, ended)) {
    TestLine test;
    switch (parse_configuration_line(line, test)) {
      case LineKind::Ignored: break;
      case LineKind::Error: console() << text::kConfigurationError << line << std::endl; break;
      case LineKind::Test:
        run_test(test, run);
        break;
    }
  }
}
