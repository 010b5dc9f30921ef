#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/escaped.h"
#include "driver/arguments.h"
#include "driver/build_stamp.h"
#include "driver/result_json.h"
#include "driver/run_sequence.h"
#include "fake_fixture.h"
#include "trials/notes.h"

namespace {

namespace fs = std::filesystem;
using fake::Service;

// Each test runs in a fresh current directory of its own.
class RunSequence : public FakePlatformTest {
 protected:
  void SetUp() override {
    FakePlatformTest::SetUp();
    previous_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("varno-run-" + std::to_string(std::rand()) + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }
  // The built-in test's five trials, each 250 ms with no time to write the
  // copies out after it, each in a work directory of its own name.
  static void script_default_test_trials() {
    fake::state().calendar_step = 1;
    for (int i = 0; i < 5; ++i) {
      fake::state().clock_readings.push_back(0);
      for (int reading = 0; reading < 3; ++reading) fake::state().clock_readings.push_back(250);
    }
  }
  static void write(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  static std::string read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // result.txt lives on the fake volume under its own name.
  static void report_before(const std::string& bytes) { fake::state().files["result.txt"] = bytes; }
  static std::string report() {
    const auto found = fake::state().files.find("result.txt");
    return found == fake::state().files.end() ? "(none)" : found->second;
  }
  static std::string banner() { return "Varnoquelbit Build: [" + build_stamp() + "]"; }
  static std::string prompt() {
    return "Press Any Key to Finish.\n(To Copy the Result to the Clipboard, Press 'c'.)\n";
  }

  fs::path previous_;
  fs::path dir_;
};

TEST(BuildStamp, WeekdayMonthDayTimeYear) {
  EXPECT_EQ(format_build_stamp("Oct 25 2008", "17:01:27"), "Sat Oct 25 17:01:27 2008");
  EXPECT_EQ(format_build_stamp("Dec  8 2026", "03:09:18"), "Tue Dec  8 03:09:18 2026");
  EXPECT_EQ(format_build_stamp("Feb 29 2000", "00:00:00"), "Tue Feb 29 00:00:00 2000");
  EXPECT_EQ(format_build_stamp("Jan  1 1970", "00:00:00"), "Thu Jan  1 00:00:00 1970");
  EXPECT_EQ(build_stamp().size(), 24u);
}

// Text for JSON: valid UTF-8 as it is, every other byte as its Latin-1 character.
TEST(ResultJson, BytesThatAreNotUtf8AreKeptAsLatin1Characters) {
  const struct {
    const char* bytes;
    const char* text;
  } cases[] = {
      {"D:\\bench", "D:\\bench"},
      {"M\xFCll", "M\xC3\xBCll"},                      // Windows-1252 u-umlaut
      {"M\xC3\xBCll", "M\xC3\xBCll"},                  // the same in UTF-8, kept
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},        // four bytes, kept
      {"\xE2\x82", "\xC3\xA2\xC2\x82"},                // cut short
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                // overlong
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},    // a surrogate
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},  // past U+10FFFF
      {"a\xFF" "b\xC3\xA9", "a\xC3\xBF" "b\xC3\xA9"},  // both in one string
  };
  for (const auto& c : cases) EXPECT_EQ(utf8_text(c.bytes), c.text) << c.bytes;
}

// Text for a terminal line: names keep their UTF-8 and their backslashes;
// controls and bytes that are no UTF-8 show as \xNN; a note goes through it.
TEST(Notes, NamesCannotReachTheTerminalAsControls) {
  const struct {
    const char* bytes;
    const char* shown;
  } cases[] = {
      {"C:\\bench \xC3\xA9t\xC3\xA9", "C:\\bench \xC3\xA9t\xC3\xA9"},
      {"\x1B]0;owned\x07", "\\x1B]0;owned\\x07"},                 // a window title
      {"a\x1B[2Jb", "a\\x1B[2Jb"},                                 // clear the screen
      {"\x1B]52;c;aGk=\x1B\\", "\\x1B]52;c;aGk=\\x1B\\"},        // OSC 52 clipboard write
      {"line\nend\r\t\x7F", "line\\x0Aend\\x0D\\x09\\x7F"},
      {"\xC2\x9B" "31m\xC2\x9D", "\\x9B" "31m\\x9D"},               // C1 CSI and OSC in UTF-8
      {"\xC2\xA0nbsp", "\xC2\xA0nbsp"},                               // U+00A0 is no control
      {"M\xFCll \xE2\x82", "M\\xFCll \\xE2\\x82"},                   // Latin-1, cut short
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(escaped(c.bytes), c.shown) << c.bytes;
  EXPECT_EQ(note_line("'\x1B[2J' is here"), "varnoquelbit: '\\x1B[2J' is here");
}

TEST(ResultJson, UtcTimes) {
  EXPECT_EQ(utc_time_text(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(utc_time_text(-1), "1969-12-31T23:59:59Z");
  EXPECT_EQ(utc_time_text(951782400), "2000-02-29T00:00:00Z");
  EXPECT_EQ(utc_time_text(1796735702), "2026-12-08T13:15:02Z");
  EXPECT_EQ(utc_time_text(4102444799), "2099-12-31T23:59:59Z");
}

// A run's record is written at its end: result.json whole, results.jsonl a
// line more; a drive string's bytes that are not UTF-8 do not stop it.
TEST_F(RunSequence, TheRecordIsWrittenBesideTheReportWithRawBytesReadable) {
  write("Varnoquelbit.ini", "HL \"M\xFCll\" 4K 1 1\n");
  fake::state().files["results.jsonl"] = "{}\n";
  EXPECT_EQ(run_benchmark(), 0);
  const std::string record = fake::state().files["result.json"];
  EXPECT_NE(record.find("\"line\": \"HL \\\"M\xC3\xBCll\\\" 4K 1 1\""), std::string::npos)
      << record;
  EXPECT_NE(record.find("\"stopped_at\": \"drive\""), std::string::npos) << record;
  EXPECT_NE(record.find("\"console_text\": \"Could not Get the Drive Information of M\xC3\xBCll\""),
            std::string::npos)
      << record;
  const std::string lines = fake::state().files["results.jsonl"];
  ASSERT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
  EXPECT_EQ(lines.rfind("{\"schema\":1,", 3), 3u) << lines;
}

TEST_F(RunSequence, UnreadableVersionEndsTheRunAtOnce) {
  report_before("earlier run");
  write("Varnoquelbit.ini", "HL C: 4K 1 1\n");
  fake::state().os_readable = false;
  fake::state().keys = {'c'};
  EXPECT_EQ(run_benchmark(), 0);
  EXPECT_EQ(fake::console_text(), banner() + "\nCound NOT Get OS Version. \n");
  EXPECT_EQ(report(), "earlier run");
  EXPECT_TRUE(fake::state().clipboard.empty());
  EXPECT_EQ(fake::count_of(Service::Volume), 0);
}

TEST_F(RunSequence, NoConfigurationRunsTheDefaultTestInTheGeneralFormat) {
  script_default_test_trials();
  EXPECT_EQ(run_benchmark(), 0);
  const std::string console = fake::console_text();
  const std::string head = banner() + "\nOS: Windows XP (32bit)\nVarnoquelbit.ini NOT Found.\n"
                           "Disk C: Capacity: Total=10[GB] Free=5[GB]\n"
                           "HL C: 4K 1000File(s) 5Trial(s)\n";
  EXPECT_EQ(console.substr(0, head.size()), head);
  EXPECT_NE(console.find("(0.25[sec])"), std::string::npos) << "a quarter second prints as 0.25";
  EXPECT_EQ(report(),
            banner() + "\r\nOS: Windows XP (32bit)\r\nDisk C: Capacity: Total=10[GB] Free=5[GB]\r\n"
                       "HL C:   4K 1000File(s)  5Trial(s) : Average: 15.625[MB/s] (   0.25[sec])\r\n");
  EXPECT_EQ(console.substr(console.size() - prompt().size()), prompt());
  EXPECT_EQ(fake::diagnostics_text(), "") << "NOT Found says it all";
}

TEST_F(RunSequence, CommentsOnlyConfigurationWritesBannerAndOsLines) {
  report_before("an earlier, longer result that must not survive");
  write("Varnoquelbit.ini", "# nothing to run\r\n\r\n#\n");
  fake::state().os_version = OsVersion{6, 1};
  EXPECT_EQ(run_benchmark(), 0);
  EXPECT_EQ(report(), banner() + "\r\nOS: Unknown\r\n");
  EXPECT_EQ(fake::console_text(), banner() + "\nOS: Unknown\n" + prompt());
}

TEST_F(RunSequence, ConfigurationSwitchesBothOutputsToThreeDecimals) {
  write("Varnoquelbit.ini", "HL C: 1M 1 1\n");
  fake::state().clock_readings = {0, 250};
  run_benchmark();
  const std::string console = fake::console_text();
  EXPECT_NE(console.find("Disk C: Capacity: Total=10.000[GB] Free=5.000[GB]\n"), std::string::npos);
  EXPECT_NE(console.find("  Result:   4.000[MB/s] (0.250[sec])\n"), std::string::npos);
  EXPECT_NE(report().find("Average:  4.000[MB/s] (  0.250[sec])\r\n"), std::string::npos);
}

TEST_F(RunSequence, LowerCaseCCopiesTheExactReport) {
  write("Varnoquelbit.ini", "#\n");
  fake::state().keys = {'c'};
  run_benchmark();
  ASSERT_EQ(fake::state().clipboard.size(), 1u);
  EXPECT_EQ(fake::state().clipboard[0], report());
  EXPECT_EQ(fake::state().clipboard[0], banner() + "\r\nOS: Windows XP (32bit)\r\n");
}

TEST_F(RunSequence, OtherKeysAndAFailingClipboardCopyNothing) {
  write("Varnoquelbit.ini", "#\n");
  for (int key : {int{'C'}, int{'x'}, int{'\n'}, -1}) {
    fake::reset();
    if (key != -1) fake::state().keys = {key};
    EXPECT_EQ(run_benchmark(), 0);
    EXPECT_TRUE(fake::state().clipboard.empty()) << key;
  }
  fake::reset();
  fake::state().keys = {'c'};
  fake::state().clipboard_opens = false;
  EXPECT_EQ(run_benchmark(), 0);
  EXPECT_EQ(fake::console_text(), banner() + "\nOS: Windows XP (32bit)\n" + prompt());
}

// The run reads no further test, leaves an earlier result.txt as it was,
// shows no prompt and ends with the interruption's status.
TEST_F(RunSequence, InterruptionEndsTheRunWithoutAReport) {
  report_before("earlier run");
  write("Varnoquelbit.ini", "HL C: 4K 2 1\nLL C: 4K 4K 1 1\n");
  fake::state().keys = {'c'};
  fake::interrupt_at(Service::Copy, 1);
  EXPECT_EQ(run_benchmark(), 130);
  EXPECT_EQ(report(), "earlier run");
  const std::string console = fake::console_text();
  const std::string tail = "HL C: 4K 2File(s) 1Trial(s)\n[Trial 0] Preparing... Testing...\n";
  ASSERT_GE(console.size(), tail.size());
  EXPECT_EQ(console.substr(console.size() - tail.size()), tail) << "no prompt";
  EXPECT_EQ(fake::count_of(Service::Open), 2) << "the LL test never started";
  EXPECT_TRUE(fake::state().clipboard.empty());
  EXPECT_EQ(fake::state().keys.size(), 1u) << "no key was read";
}

// A directory cannot be read as the configuration: it counts as missing.
TEST_F(RunSequence, ADirectoryNamedLikeTheConfigurationIsNotFound) {
  fs::create_directory("Varnoquelbit.ini");
  script_default_test_trials();
  EXPECT_EQ(run_benchmark(), 0);
  const std::string console = fake::console_text();
  EXPECT_EQ(console.substr(0, console.find("HL C: ")),
            banner() + "\nOS: Windows XP (32bit)\nVarnoquelbit.ini NOT Found.\n"
                       "Disk C: Capacity: Total=10[GB] Free=5[GB]\n");
  EXPECT_NE(report().find("Average: 15.625[MB/s] (   0.25[sec])"), std::string::npos);
  // Unlike a missing file, this failure is told: at the open (Windows) or
  // at the first read (Linux).
  EXPECT_NE(fake::diagnostics_text().find(" 'Varnoquelbit.ini': "), std::string::npos)
      << fake::diagnostics_text();
}

// A report that cannot be written leaves the earlier one, says why, and the
// run ends as usual.
TEST_F(RunSequence, AReportThatCannotBeWrittenIsToldOnStandardError) {
  report_before("earlier run");
  write("Varnoquelbit.ini", "#\n");
  fake::fail_every(Service::Report);
  EXPECT_EQ(run_benchmark(), 0);
  EXPECT_EQ(report(), "earlier run");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: write 'result.txt': Is a directory\n"
            "varnoquelbit: write 'result.json': Is a directory\n"
            "varnoquelbit: append to 'results.jsonl': Is a directory\n");
  EXPECT_EQ(fake::console_text(), banner() + "\nOS: Windows XP (32bit)\n" + prompt());
}

// After 'c', a terminal on standard error hears what came of the copy; a
// pipe or file hears nothing.
TEST_F(RunSequence, TheClipboardCopyIsToldOnATerminalOnly) {
  write("Varnoquelbit.ini", "#\n");
  struct Case {
    bool terminal, opens;
    const char* told;
  };
  for (const Case& c : {Case{true, true, "varnoquelbit: copied the result to the clipboard "
                                         "(fake clipboard)\n"},
                        Case{true, false, "varnoquelbit: could not copy the result to the "
                                          "clipboard: the clipboard could not be opened\n"},
                        Case{false, true, ""}, Case{false, false, ""}}) {
    fake::reset();
    fake::state().keys = {'c'};
    fake::state().diagnostics_terminal = c.terminal;
    fake::state().clipboard_opens = c.opens;
    EXPECT_EQ(run_benchmark(), 0);
    EXPECT_EQ(fake::diagnostics_text(), c.told) << c.terminal << c.opens;
  }
}

// A sole request for help or the version answers it and touches nothing; any
// other arguments run the benchmark as none would.
TEST_F(RunSequence, HelpAndVersionTouchNothingAndOtherArgumentsAreIgnored) {
  write("Varnoquelbit.ini", "#\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> answered = {
      {{"--help"}, help_text()}, {{"-h"}, help_text()}, {{"/?"}, help_text()},
      {{"--version"}, "varnoquelbit " + std::string(VARNO_TEST_VERSION) + "\n"},
      {{"-V"}, version_text()}};
  for (const auto& entry : answered) {
    fake::reset();
    EXPECT_EQ(run_program(entry.first), 0) << entry.first[0];
    EXPECT_EQ(fake::console_text(), entry.second) << entry.first[0];
    EXPECT_TRUE(fake::state().events.empty()) << entry.first[0];
    EXPECT_EQ(report(), "(none)") << entry.first[0];
  }
  EXPECT_NE(help_text().find("Varnoquelbit.ini"), std::string::npos);
  EXPECT_NE(help_text().find("result.txt"), std::string::npos);
  for (const std::vector<std::string>& ignored :
       std::vector<std::vector<std::string>>{{}, {"--help", "-V"}, {"C:\\dragged.ini"}, {"-v"},
                                             {"help"}}) {
    fake::reset();
    EXPECT_EQ(run_program(ignored), 0);
    EXPECT_EQ(fake::console_text(), banner() + "\nOS: Windows XP (32bit)\n" + prompt());
    EXPECT_EQ(report(), banner() + "\r\nOS: Windows XP (32bit)\r\n");
  }
}

// Standard output that failed for another reason than a closed pipe turns
// a finished run's status into 1, with the reason on standard error.
TEST_F(RunSequence, AFailedStandardOutputEndsWithStatusOne) {
  write("Varnoquelbit.ini", "#\n");
  fake::state().console_write_failure = "No space left on device";
  EXPECT_EQ(run_program({}), 1);
  EXPECT_EQ(report(), banner() + "\r\nOS: Windows XP (32bit)\r\n") << "the report is whole";
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: write 'standard output': No space left on device\n");
  fake::reset();
  fake::state().console_write_failure = "No space left on device";
  EXPECT_EQ(run_program({"--version"}), 1);
}

}  // namespace
