#include "driver/configuration.h"

#include <climits>
#include <ostream>

#include "platform/console.h"
#include "platform/interruption.h"
#include "testrun/test_run.h"
#include "trials/notes.h"
#include "trials/texts.h"

namespace {

constexpr char kEndOfFile = 0x1a;  // Ctrl-Z
// What editors such as Notepad put at the start of a file saved as UTF-8.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
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

  // The start and end of each remaining word, up to the end of the text.
  std::vector<std::pair<std::size_t, std::size_t>> remaining_words() {
    std::vector<std::pair<std::size_t, std::size_t>> words;
    for (;;) {
      skip_space();
      if (pos >= text.size()) return words;
      const std::size_t start = pos;
      while (pos < text.size() && !is_field_space(text[pos])) ++pos;
      words.emplace_back(start, pos);
    }
  }

  // A signed decimal count; values beyond 32 bits saturate to the nearest
  // limit, and then `written` holds the count as the line spells it.
  bool count(std::int32_t& out, std::string& written) {
    skip_space();
    const std::size_t sign = pos;
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
    written.clear();
    if (value > INT32_MAX || value < INT32_MIN) written.assign(text, sign, pos - sign);
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    out = static_cast<std::int32_t>(value);
    return true;
  }
};

std::string saturation_note(const char* what, const std::string& written, std::int32_t value) {
  return std::string(what) + " count " + written + " does not fit 32 bits; read as " +
         std::to_string(value);
}

// For a line that is no test: the drive words as written, when the line
// would be a test with them in double quotes; "" otherwise. The words are
// those between the method and the fields that end a line of the method.
std::string unquoted_drive(const std::string& text, const CopyMethodRow& row) {
  FieldReader fields{text};
  std::string method;
  if (!fields.word(method)) return "";
  const auto words = fields.remaining_words();
  const std::size_t trailing = row.takes_buffer ? 4 : 3;
  if (words.size() < trailing + 2) return "";
  const std::size_t start = words.front().first;
  const std::size_t end = words[words.size() - trailing - 1].second;
  const std::string drive = text.substr(start, end - start);
  if (drive.find('"') != std::string::npos) return "";
  const std::string quoted =
      text.substr(0, start) + "\"" + drive + "\"" + text.substr(end);
  TestLine test;
  return parse_configuration_line(quoted, test) == LineKind::Test ? drive : "";
}

}  // namespace

LineKind parse_configuration_line(const std::string& line, TestLine& test,
                                  std::vector<std::string>* notes) {
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
  std::string files_written;
  std::string trials_written;
  const bool ok = fields.word(method) && fields.drive(parsed.drive) &&
                  fields.word(parsed.file_size) &&
                  (!row->takes_buffer || fields.word(parsed.buffer_size)) &&
                  fields.count(parsed.file_count, files_written) &&
                  fields.count(parsed.trial_count, trials_written);
  if (!ok) {
    if (notes != nullptr) {
      const std::string drive = unquoted_drive(text, *row);
      if (!drive.empty())
        notes->push_back("a drive with blanks needs double quotes: \"" + drive + "\"");
    }
    return LineKind::Error;
  }
  if (notes != nullptr) {
    if (!files_written.empty())
      notes->push_back(saturation_note("file", files_written, parsed.file_count));
    if (!trials_written.empty())
      notes->push_back(saturation_note("trial", trials_written, parsed.trial_count));
  }
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
  bool first = true;
  while (!interruption_requested() && read_configuration_line(in, line, ended)) {
    if (first && line.compare(0, 3, kByteOrderMark) == 0) line.erase(0, 3);
    first = false;
    TestLine test;
    std::vector<std::string> notes;
    const LineKind kind = parse_configuration_line(line, test, &notes);
    if (kind == LineKind::Error) console() << text::kConfigurationError << line << std::endl;
    for (const std::string& note : notes) write_note(note);
    if (kind == LineKind::Test) run_test(test, run, line);
  }
}
