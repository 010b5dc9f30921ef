#include "driver/configuration.h"

#include <climits>
#include <cstring>
#include <ostream>

#include "console/console_printer.h"
#include "console/escaped.h"
#include "console/texts.h"
#include "platform/console.h"
#include "platform/interruption.h"
#include "testrun/test_run.h"

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

// The fields of a test line, in their order on the line.
enum class LineField { Method, Drive, FileSize, BufferSize, FileCount, TrialCount, None };

// How far a line's fields were read: the first field that could not be
// read and where it stands, or LineField::None when every field was read.
struct FieldScan {
  LineField failed = LineField::None;
  std::size_t at = 0;
};

// Reads the fields of a line of the method `row` as the scan formats do.
FieldScan scan_fields(const std::string& text, const CopyMethodRow& row, TestLine& parsed,
                      std::string& files_written, std::string& trials_written) {
  FieldReader fields{text};
  std::string method;
  parsed.method = row.method;
  if (!fields.word(method)) return FieldScan{LineField::Method, 0};
  std::size_t at = fields.pos;
  if (!fields.drive(parsed.drive)) return FieldScan{LineField::Drive, at};
  at = fields.pos;
  if (!fields.word(parsed.file_size)) return FieldScan{LineField::FileSize, at};
  at = fields.pos;
  if (row.takes_buffer && !fields.word(parsed.buffer_size))
    return FieldScan{LineField::BufferSize, at};
  at = fields.pos;
  if (!fields.count(parsed.file_count, files_written)) return FieldScan{LineField::FileCount, at};
  // A file count with letters right after its digits ("10x") stops the scan
  // there: the trial count cannot be read, but the file count is at fault.
  const std::size_t files_at = at;
  at = fields.pos;
  if (!fields.count(parsed.trial_count, trials_written)) {
    if (at < text.size() && !is_field_space(text[at])) return FieldScan{LineField::FileCount, files_at};
    return FieldScan{LineField::TrialCount, at};
  }
  return {};
}

bool scans_as_test(const std::string& text, const CopyMethodRow& row) {
  TestLine parsed;
  std::string files_written, trials_written;
  return scan_fields(text, row, parsed, files_written, trials_written).failed == LineField::None;
}

bool begins_with_digit(const std::string& word) {
  return !word.empty() && word[0] >= '0' && word[0] <= '9';
}

// Whether the line reads as a test of the method whose sizes look like sizes
// (they begin with a digit) and whose drive does not: a line the user most
// likely meant for it.
bool fits_layout(const std::string& text, const CopyMethodRow& row) {
  TestLine parsed;
  std::string files_written, trials_written;
  return scan_fields(text, row, parsed, files_written, trials_written).failed ==
             LineField::None &&
         !begins_with_digit(parsed.drive) && begins_with_digit(parsed.file_size) &&
         (!row.takes_buffer || begins_with_digit(parsed.buffer_size));
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
  return scans_as_test(quoted, row) ? drive : "";
}

// The whitespace-separated word at `at` (after any white space), as written.
std::string word_at(const std::string& text, std::size_t at) {
  while (at < text.size() && is_field_space(text[at])) ++at;
  std::size_t end = at;
  while (end < text.size() && !is_field_space(text[end])) ++end;
  return text.substr(at, end - at);
}

std::string quoted(const std::string& word) { return "\"" + escaped(word) + "\""; }

// The layout of a line of the method, for the reasons below.
std::string layout_of(const CopyMethodRow& row) {
  return std::string(row.keyword) +
         (row.takes_buffer ? " <drive> <file size> <buffer size> <files> <trials>"
                           : " <drive> <file size> <files> <trials>");
}

const CopyMethodRow& other_method(const CopyMethodRow& row) {
  return copy_method_row(row.method == CopyMethod::HL ? CopyMethod::LL : CopyMethod::HL);
}

// What is wrong with the field that could not be read, for a line of the
// method `row`.
std::string field_reason(const std::string& text, const CopyMethodRow& row,
                         const FieldScan& scan) {
  const std::string word = word_at(text, scan.at);
  const std::string expected = "; expected " + layout_of(row);
  const auto too_long = [&word](const char* field) {
    return std::string("the ") + field + " is " + std::to_string(word.size()) +
           " characters long; at most " + std::to_string(kMaxWordLength) + " are read";
  };
  const auto missing = [&expected](const char* field) {
    return std::string("the ") + field + " is missing" + expected;
  };
  switch (scan.failed) {
    case LineField::Method:
      return too_long("method word");
    case LineField::Drive: {
      if (word.empty()) return missing("drive");
      if (word[0] != '"') return too_long("drive");
      std::size_t open = scan.at;
      while (text[open] != '"') ++open;
      const std::size_t close = text.find('"', open + 1);
      if (close == std::string::npos)
        return "the drive's opening double quote has no closing one";
      if (close == open + 1) return "the drive between its double quotes is empty";
      if (close - open - 1 > kMaxWordLength)
        return "the drive is " + std::to_string(close - open - 1) +
               " characters long; at most " + std::to_string(kMaxWordLength) + " are read";
      return "the drive's closing double quote must be followed by a blank or tab";
    }
    case LineField::FileSize:
      return word.empty() ? missing("file size") : too_long("file size");
    case LineField::BufferSize:
      return word.empty() ? missing("buffer size") : too_long("buffer size");
    case LineField::FileCount:
      if (word.empty()) return missing("file count");
      return "the file count " + quoted(word) + " is not a whole number" + expected;
    case LineField::TrialCount:
      if (word.empty()) return missing("trial count");
      return "the trial count " + quoted(word) + " is not a whole number" + expected;
    case LineField::None:
      break;
  }
  return "";
}

// Why a line that begins with a method's keyword is no test of it.
std::string test_line_reason(const std::string& text, const CopyMethodRow& row,
                             const FieldScan& scan) {
  const CopyMethodRow& other = other_method(row);
  if (fits_layout(other.keyword + text.substr(std::strlen(row.keyword)), other)) {
    if (row.takes_buffer)
      return std::string("it fits the ") + other.keyword + " layout (" + layout_of(other) +
             "): an " + row.keyword + " line needs a buffer size after the file size, or " +
             other.keyword + " to begin it";
    return std::string("it fits the ") + other.keyword + " layout (" + layout_of(other) +
           "): an " + row.keyword + " line has no buffer size; drop it, or begin the line with " +
           other.keyword;
  }
  const std::string drive = unquoted_drive(text, row);
  if (!drive.empty()) return "a drive with blanks needs double quotes: \"" + drive + "\"";
  // A line that lacks only its drive reads as a test once one is put in; its
  // first word then stands where the drive goes. A size such as 64M begins
  // with a digit, a drive (a path, C:) seldom does.
  const std::string first = word_at(text, std::strlen(row.keyword));
  const std::size_t method_end = text.find_first_of(" \t\v\f\r\n");
  if (scan.failed != LineField::Drive && begins_with_digit(first) &&
      method_end != std::string::npos &&
      fits_layout(text.substr(0, method_end) + " C:" + text.substr(method_end), row))
    return "the drive is missing: " + quoted(first) + " stands where the drive goes; expected " +
           layout_of(row);
  return field_reason(text, row, scan);
}

// Why a line is no test and no comment: the text of its note.
std::string error_line_reason(const std::string& line, const CopyMethodRow* row,
                              const FieldScan& scan, const std::string& text) {
  if (line.compare(0, 3, kByteOrderMark) == 0)
    return "the line begins with a UTF-8 byte-order mark (the bytes EF BB BF), so it is neither "
           "a test nor a comment; save the file as UTF-8 without BOM (Notepad: Save As, Encoding "
           "\"UTF-8\", not \"UTF-8 with BOM\"; vim: :set nobomb)";
  if (is_field_space(line[0]))
    return "the line begins with a blank or tab; the method, HL or LL, must be its first two "
           "characters";
  if (row == nullptr) {
    const std::string method = word_at(line, 0).substr(0, 20);
    std::string opening = method.substr(0, 2);
    for (char& c : opening)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (opening == "HL" || opening == "LL")
      return "the method " + quoted(method) + " must be written in capitals, HL or LL";
    return "the method must be HL or LL, the line's first two characters; found " +
           quoted(method);
  }
  std::string reason = test_line_reason(text, *row, scan);
  if (text.size() < line.size())
    reason += " (the line's fields end at its NUL byte)";
  return reason;
}

}  // namespace

LineKind parse_configuration_line(const std::string& line, TestLine& test,
                                  std::vector<std::string>* notes) {
  if (line.empty() || line[0] == '#') return LineKind::Ignored;
  // The method is named by the line's opening characters; the rest of the
  // first word is not looked at.
  const CopyMethodRow* row = copy_method_of_line(line);
  // The fields end where a C string would: at the first NUL byte.
  const std::string text = line.substr(0, line.find('\0'));
  TestLine parsed;
  std::string files_written;
  std::string trials_written;
  FieldScan scan;
  if (row != nullptr) scan = scan_fields(text, *row, parsed, files_written, trials_written);
  if (row == nullptr || scan.failed != LineField::None) {
    if (notes != nullptr) notes->push_back(error_line_reason(line, row, scan, text));
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
  long number = 0;
  while (!interruption_requested() && read_configuration_line(in, line, ended)) {
    ++number;
    TestLine test;
    std::vector<std::string> notes;
    const LineKind kind = parse_configuration_line(line, test, &notes);
    if (kind == LineKind::Error) {
      console() << text::kConfigurationError << line << std::endl;
      for (std::string& note : notes) note = refused_line_note(number, note);
    }
    for (const std::string& note : notes) write_note(run.printer, note);
    if (kind == LineKind::Test) run_test(test, run, line);
  }
}

std::string refused_line_note(long number, const std::string& reason) {
  return "line " + std::to_string(number) + " of '" + kConfigurationFile + "': " + reason;
}
