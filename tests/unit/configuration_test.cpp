#include <gtest/gtest.h>

#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>

#include "driver/configuration.h"
#include "driver/report_text.h"
#include "fake_fixture.h"

namespace {

using fake::Service;

struct LineCase {
  std::string line;
  LineKind kind;
};

TEST(ConfigurationLine, OutcomesOfTheLineRules) {
  const LineCase cases[] = {
      {"", LineKind::Ignored},
      {"# method drive size [buffer] files trials", LineKind::Ignored},
      {"#HL C: 4K 10 3", LineKind::Ignored},
      {"H", LineKind::Error},
      {"HX C: 4K 10 3", LineKind::Error},
      {"HLX C: 4K 10 3", LineKind::Test},
      {"LL C: 4K 10 3", LineKind::Error},
      {"HL C: 4K 10 3 extra words", LineKind::Test},
      {" HL C: 4K 10 3", LineKind::Error},
      {"HL C: abc 10 3", LineKind::Test},
      {"HL C: 4K ten 3", LineKind::Error},
      {"HL C: 4K 10", LineKind::Error},
      {"HL C: 4K 10 x", LineKind::Error},
      {"HL C: 4K 10 +", LineKind::Error},
      {"hl C: 4K 10 3", LineKind::Error},
      {"LL", LineKind::Error},
      {"LL C: 4K 64K 10 3", LineKind::Test},
      {"\xEF\xBB\xBFHL C: 4K 10 3", LineKind::Error},
      {"HL\tC:\t4K\t10\t3", LineKind::Test},
      {"HL C:\v4K\f10\r3", LineKind::Test},
      {"HL C: 4K 10 3x", LineKind::Test},
      {"HL C: 4K 10x 3", LineKind::Error},
      {std::string("HL C: 4K\0 10 3", 14), LineKind::Error},
      // Quotes open a drive string only at the start of the drive field.
      {"LL\t\"/media/me/USB\tDISK\"\t64M 1M 4 3", LineKind::Test},
      {"HL C:\"x 4K 10 3", LineKind::Test},
      {"HL \"/media/me/USB DISK 4K 10 3", LineKind::Error},
      {"HL \"/media/me/USB\" DISK\" 4K 10 3", LineKind::Error},
      {"HL \"a b\"c 4K 10 3", LineKind::Error},
      {"HL \"\" 4K 10 3", LineKind::Error},
      {"HL \"", LineKind::Error},
  };
  for (const LineCase& c : cases) {
    TestLine test;
    EXPECT_EQ(parse_configuration_line(c.line, test), c.kind) << '"' << c.line << '"';
  }
}

TEST(ConfigurationLine, FieldsOfBothMethods) {
  TestLine test;
  ASSERT_EQ(parse_configuration_line("HLX C: 4k 10 3", test), LineKind::Test);
  EXPECT_EQ(test.method, CopyMethod::HL);
  EXPECT_EQ(test.drive, "C:");
  EXPECT_EQ(test.file_size, "4k");
  EXPECT_EQ(test.buffer_size, "");
  EXPECT_EQ(test.file_count, 10);
  EXPECT_EQ(test.trial_count, 3);

  ASSERT_EQ(parse_configuration_line("LL  D:\\x   64M\t1M   -4 +3 tail", test), LineKind::Test);
  EXPECT_EQ(test.method, CopyMethod::LL);
  EXPECT_EQ(test.drive, "D:\\x");
  EXPECT_EQ(test.file_size, "64M");
  EXPECT_EQ(test.buffer_size, "1M");
  EXPECT_EQ(test.file_count, -4);
  EXPECT_EQ(test.trial_count, 3);

  // Drive strings in quotes span blanks and tabs and lose their quotes;
  // quotes anywhere else are ordinary characters.
  struct DriveCase {
    std::string line;
    std::string drive;
    std::string file_size;
    std::string buffer_size;
  };
  const DriveCase drives[] = {
      {"HL \"/media/me/USB DISK\" 4K 10 3", "/media/me/USB DISK", "4K", ""},
      {"LL  \"\t/mnt/a  b\t\"\t64M 1M 10 3", "\t/mnt/a  b\t", "64M", "1M"},
      {"LL \"C:\\My Disk\\\" 64M 1M 10 3", "C:\\My Disk\\", "64M", "1M"},
      {"HL \"x\"\t4K 10 3 \"tail", "x", "4K", ""},
      {"HL C:\"x\" 4K 10 3", "C:\"x\"", "4K", ""},
      {"LL C: \"4K\" \"1M\" 10 3", "C:", "\"4K\"", "\"1M\""},
  };
  for (const DriveCase& c : drives) {
    ASSERT_EQ(parse_configuration_line(c.line, test), LineKind::Test) << c.line;
    EXPECT_EQ(test.drive, c.drive) << c.line;
    EXPECT_EQ(test.file_size, c.file_size) << c.line;
    EXPECT_EQ(test.buffer_size, c.buffer_size) << c.line;
    EXPECT_EQ(test.file_count, 10) << c.line;
    EXPECT_EQ(test.trial_count, 3) << c.line;
  }
}

TEST(ConfigurationLine, WordsOfAtMost99Characters) {
  TestLine test;
  const std::string word99(97, 'x');
  ASSERT_EQ(parse_configuration_line("HL C:" + word99 + " 4K 1 1", test), LineKind::Test);
  EXPECT_EQ(test.drive.size(), 99u);
  EXPECT_EQ(parse_configuration_line("HL C:" + word99 + "y 4K 1 1", test), LineKind::Error);
  EXPECT_EQ(parse_configuration_line("HL" + std::string(98, 'L') + " C: 4K 1 1", test),
            LineKind::Error);
  const std::string quoted99 = "a b" + std::string(96, 'x');
  ASSERT_EQ(parse_configuration_line("HL \"" + quoted99 + "\" 4K 1 1", test), LineKind::Test);
  EXPECT_EQ(test.drive, quoted99);
  EXPECT_EQ(parse_configuration_line("HL \"" + quoted99 + "y\" 4K 1 1", test), LineKind::Error);
}

TEST(ConfigurationLine, CountsBeyond32BitsSaturate) {
  TestLine test;
  ASSERT_EQ(parse_configuration_line("HL C: 4K 99999999999999999999999 -3000000000", test),
            LineKind::Test);
  EXPECT_EQ(test.file_count, INT32_MAX);
  EXPECT_EQ(test.trial_count, INT32_MIN);
  ASSERT_EQ(parse_configuration_line("HL C: 4K 2147483647 -2147483648", test), LineKind::Test);
  EXPECT_EQ(test.file_count, 2147483647);
  EXPECT_EQ(test.trial_count, -2147483647 - 1);
}

struct NotesCase {
  std::string line;
  LineKind kind;
  std::vector<std::string> notes;
};

// What the user hears of a line besides its kind: saturated counts as the
// line spells them, and an unquoted drive with blanks on a line that would
// be a test with quotes.
TEST(ConfigurationLine, NotesOfSaturatedCountsAndUnquotedDrives) {
  const NotesCase cases[] = {
      {"HL C: 4K 10 3", LineKind::Test, {}},
      {"HL C: 4K 2147483647 -2147483648", LineKind::Test, {}},
      {"HL C: 4K 2147483648 3", LineKind::Test,
       {"file count 2147483648 does not fit 32 bits; read as 2147483647"}},
      {"HL C: 4K 1 99999999999", LineKind::Test,
       {"trial count 99999999999 does not fit 32 bits; read as 2147483647"}},
      {"LL C: 4K 4K -2147483649 +099999999999x", LineKind::Test,
       {"file count -2147483649 does not fit 32 bits; read as -2147483648",
        "trial count +099999999999 does not fit 32 bits; read as 2147483647"}},
      {"LL /media/me/USB DISK 64M 1M 4 1", LineKind::Error,
       {"a drive with blanks needs double quotes: \"/media/me/USB DISK\""}},
      {"HL  my \t big  disk\t4K 10 3", LineKind::Error,
       {"a drive with blanks needs double quotes: \"my \t big  disk\""}},
      {"LL a b 64M 4", LineKind::Error, {}},            // too few fields for LL
      {"HL a b 4K ten 3", LineKind::Error, {}},         // quotes would not mend it
      {"HL a \"b 4K 10 3", LineKind::Error, {}},        // a quote among the words
      {"HL \"a b 4K 10 3", LineKind::Error, {}},
      {"HL C: 4K 10", LineKind::Error, {}},
      {"HX a b 4K 10 3", LineKind::Error, {}},          // no method
      {"HL a " + std::string(98, 'x') + " 4K 1 1", LineKind::Error, {}},  // 100: too long
      {"HL a " + std::string(97, 'x') + " 4K 1 1", LineKind::Error,
       {"a drive with blanks needs double quotes: \"a " + std::string(97, 'x') + "\""}},
  };
  for (const NotesCase& c : cases) {
    TestLine test;
    std::vector<std::string> notes;
    EXPECT_EQ(parse_configuration_line(c.line, test, &notes), c.kind) << c.line;
    EXPECT_EQ(notes, c.notes) << c.line;
  }
}

std::vector<std::string> read_lines(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  std::string line;
  bool ended = false;
  while (read_configuration_line(in, line, ended)) lines.push_back(line);
  return lines;
}

TEST(ConfigurationReading, LineEnds) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(read_lines("a\nb\n"), (Lines{"a", "b"}));
  EXPECT_EQ(read_lines("a\r\nb"), (Lines{"a", "b"})) << "the last line needs no line end";
  EXPECT_EQ(read_lines("a\r\r\n\r\nb\rc\n"), (Lines{"a\r", "", "b\rc"}));
  EXPECT_EQ(read_lines("a\rb\r"), (Lines{"a\rb\r"})) << "a CR not before a LF stays in the line";
  EXPECT_EQ(read_lines(""), Lines{});
  EXPECT_EQ(read_lines("\n\n"), (Lines{"", ""}));
}

TEST(ConfigurationReading, CtrlZEndsTheFile) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(read_lines("a\nbc\x1a" "d\ne\n"), (Lines{"a", "bc"}));
  EXPECT_EQ(read_lines("a\n\x1a" "b\n"), (Lines{"a"}));
  EXPECT_EQ(read_lines("\x1a" "a\n"), Lines{});
}

TEST(ConfigurationReading, ReadsNoFurtherThanTheLineItReturns) {
  std::istringstream in("HL C: 4K 1 1\nsecond\n");
  std::string line;
  bool ended = false;
  ASSERT_TRUE(read_configuration_line(in, line, ended));
  EXPECT_EQ(in.rdbuf()->in_avail(), 7) << "the second line is still unread";
}

// Serves a text, then fails the next read the way a file buffer does: by
// throwing. Reading a directory opened as the configuration fails so.
struct FailingReads : std::streambuf {
  explicit FailingReads(std::string text) : text_(std::move(text)) {
    setg(&text_[0], &text_[0], &text_[0] + text_.size());
  }
  int_type underflow() override { throw std::ios_base::failure("read error"); }
  std::string text_;
};

TEST(ConfigurationReading, AReadErrorEndsTheInput) {
  FailingReads buffer("a\nb\n");
  std::istream in(&buffer);
  std::string line;
  bool ended = false;
  ASSERT_TRUE(read_configuration_line(in, line, ended));
  EXPECT_EQ(line, "a");
  ASSERT_TRUE(read_configuration_line(in, line, ended));
  EXPECT_EQ(line, "b");
  EXPECT_FALSE(read_configuration_line(in, line, ended));
  EXPECT_TRUE(ended);

  FailingReads at_once("");
  std::istream empty(&at_once);
  ended = false;
  EXPECT_FALSE(read_configuration_line(empty, line, ended));
  EXPECT_TRUE(ended);
}

class ConfiguredTests : public FakePlatformTest {};

TEST_F(ConfiguredTests, TestsBeforeAReadErrorRunAndReadingStopsThere) {
  FailingReads buffer("HL C: 4K 1 0\nHL C: 4K 2 0\n");
  std::istream in(&buffer);
  RunContext run;
  run_configured_tests(in, run);
  EXPECT_EQ(fake::console_text(),
            "Disk C: Capacity: Total=10[GB] Free=5[GB]\n"
            "HL C: 4K 1File(s) 0Trial(s)\n"
            "HL C: 4K 2File(s) 0Trial(s)\n");
}

TEST_F(ConfiguredTests, ErrorLinesGoToTheConsoleOnlyAndTestsRunInOrder) {
  fake::state().calendar_step = 1;
  std::istringstream in(
      "# comment\r\n"
      "\r\n"
      "\xEF\xBB\xBFHL C: 4K 1 1\r\n"
      "HX C: 4K 1 1\r\n"
      "HL C: 4K 1 0\r\n"
      "LL Q: 4K 4K 1 1\r\n"
      "HLX C: 4K 2 1\x1a"
      "HL C: 4K 1 1\r\n");
  RunContext run;
  run_configured_tests(in, run);
  EXPECT_EQ(fake::console_text(),
            "ini error: \xEF\xBB\xBFHL C: 4K 1 1\n"
            "ini error: HX C: 4K 1 1\n"
            "Disk C: Capacity: Total=10[GB] Free=5[GB]\n"
            "HL C: 4K 1File(s) 0Trial(s)\n"
            "Could not Get the Drive Information of Q:\n"
            "HL C: 4K 2File(s) 1Trial(s)\n"
            "[Trial 0] Preparing... Testing... Done.");
  EXPECT_EQ(report_text_of_tests(run.record.tests),
            "Disk C: Capacity: Total=10[GB] Free=5[GB]\r\n"
            "HL C:   4K    1File(s)  0Trial(s) : HL C:   4K    2File(s)  1Trial(s) : ");
  EXPECT_EQ(fake::count_of(Service::Copy), 2);
}

// A UTF-8 byte-order mark is skipped at the very start of the file only; a
// line's notes go to standard error after its console line.
TEST_F(ConfiguredTests, AByteOrderMarkAtTheStartIsSkippedAndNotesGoToStandardError) {
  std::istringstream in(
      "\xEF\xBB\xBFHL C: 4K 1 -99999999999\r\n"
      "\xEF\xBB\xBF#\r\n"
      "HL my disk 4K 1 1\r\n");
  RunContext run;
  run_configured_tests(in, run);
  EXPECT_EQ(fake::console_text(),
            "Disk C: Capacity: Total=10[GB] Free=5[GB]\n"
            "HL C: 4K 1File(s) -2147483648Trial(s)\n"
            "ini error: \xEF\xBB\xBF#\n"
            "ini error: HL my disk 4K 1 1\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: trial count -99999999999 does not fit 32 bits; read as -2147483648\n"
            "varnoquelbit: a drive with blanks needs double quotes: \"my disk\"\n");
  std::istringstream only_mark("\xEF\xBB\xBF");
  fake::reset();
  run_configured_tests(only_mark, run);
  EXPECT_EQ(fake::console_text(), "");
}

}  // namespace
