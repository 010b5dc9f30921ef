// Feeds whole configuration files of arbitrary bytes through the run of the
// configured tests, against the fake platform. After each input it checks
// what a user's volume and the console must show whatever the file held:
// nothing outside the work directories touched, no handle or buffer left
// behind, and no trial result printed after a failure on the same trial line.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ios>
#include <sstream>
#include <streambuf>
#include <string>

#include "driver/configuration.h"
#include "fake/fake_platform.h"
#include "testrun/drive_space.h"
#include "trials/pseudo_random.h"

namespace {

// Each input must stay cheap: every test fits in a small volume, and the
// trials of all its test lines together are bounded.
constexpr std::int64_t kMaxTrialsPerInput = 16;
// LL buffers beyond this are memory that cannot be had.
constexpr std::size_t kAllocationLimit = 8u << 20;

const char kUserFile[] = "C:\\notes.txt";
const char kUserText[] = "a file that was on the volume before the run";

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "invariant broken: %s\n%s\n", what, detail.c_str());
  std::abort();
}

// The trials of every test line, as the run would see them.
std::int64_t total_trials(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  bool ended = false;
  std::int64_t trials = 0;
  while (read_configuration_line(in, line, ended)) {
    TestLine test;
    if (parse_configuration_line(line, test) == LineKind::Test && test.trial_count > 0)
      trials += test.trial_count;
  }
  return trials;
}

void set_up_platform(std::size_t input_size) {
  fake::reset();
  fake::Platform& p = fake::state();
  p.volumes.clear();
  p.directories.clear();
  // C: has 256 KiB free, so no test writes more than 128 KiB of test files.
  fake::add_volume("C:", VolumeFigures{64 * 4096, 2621440ull * 4096});
  // D: has extreme figures and no room at all.
  fake::add_volume("D:", VolumeFigures{0, UINT64_MAX});
  p.files[kUserFile] = kUserText;
  p.allocation_limit = kAllocationLimit;
  p.clock_step = 3;
  p.calendar_step = static_cast<std::int64_t>(input_size % 2);
  // One scripted fault per input, chosen by its length, so the failure paths
  // of every service are reached as the fuzzer varies its inputs.
  static const fake::Service kFaults[] = {
      fake::Service::Open,  fake::Service::Write,           fake::Service::Read,
      fake::Service::Copy,  fake::Service::CreateDirectory, fake::Service::Delete,
      fake::Service::Volume, fake::Service::Allocate,       fake::Service::List,
  };
  constexpr std::size_t kFaultKinds = sizeof(kFaults) / sizeof(kFaults[0]);
  const std::size_t choice = input_size % (kFaultKinds + 1);
  // Reads and writes of any file fail from a byte chosen by the input on;
  // the other services fail at every call.
  if (choice < kFaultKinds) {
    const fake::Service service = kFaults[choice];
    if (service == fake::Service::Read || service == fake::Service::Write)
      fake::fail_transfer(service, "", (input_size / 16 % 8) * 4096);
    else
      fake::fail_every(service);
  }
}

// Serves the input, then fails the next read as a file buffer does on a read
// error: by throwing.
struct FailingAtTheEnd : std::streambuf {
  explicit FailingAtTheEnd(std::string& text) { setg(&text[0], &text[0], &text[0] + text.size()); }
  int_type underflow() override { throw std::ios_base::failure("read error"); }
};

// "C:\Varnoquelbit<seconds>" or the same on D:, and nothing below it.
bool is_work_directory(const std::string& path) {
  static const std::string kName = "Varnoquelbit";
  if (path.size() <= 3 + kName.size() || (path[0] != 'C' && path[0] != 'D') ||
      path.compare(1, 2, ":\\") != 0 || path.compare(3, kName.size(), kName) != 0)
    return false;
  return path.find_first_not_of("-0123456789", 3 + kName.size()) == std::string::npos;
}

bool inside_work_directory(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash != std::string::npos && is_work_directory(path.substr(0, slash));
}

void check_volume() {
  const fake::Platform& p = fake::state();
  const auto user = p.files.find(kUserFile);
  if (user == p.files.end() || user->second != kUserText) fail("user file changed", kUserFile);
  for (const auto& file : p.files)
    if (file.first != kUserFile && !inside_work_directory(file.first))
      fail("file outside the work directories", file.first);
  for (const std::string& directory : p.directories)
    if (directory != "C:" && directory != "D:" && !is_work_directory(directory))
      fail("directory outside the volume roots", directory);
  if (fake::open_handle_count() != 0) fail("file handle left open", "");
  if (p.live_buffers != 0) fail("buffer not released", "");
}

// A trial result follows only a trial that got through: it stands on its
// trial's line right after " Done.". The lines that echo configuration text
// (error lines, and through a quoted drive string the disk line, the header
// and the missing-drive message) may hold "  Result: " by chance; they are
// passed over.
bool echoes_configuration(const std::string& line) {
  static const char* const kEchoes[] = {"ini error: ", "Disk ", "HL ", "LL ",
                                        "Could not Get the Drive Information of "};
  for (const char* start : kEchoes)
    if (line.rfind(start, 0) == 0) return true;
  return false;
}

void check_trial_lines(const std::string& console) {
  static const std::string kResult = "  Result: ";
  static const std::string kDone = "] Preparing... Testing... Done." + kResult;
  std::istringstream lines(console);
  std::string line;
  while (std::getline(lines, line)) {
    if (echoes_configuration(line)) continue;
    const std::size_t result = line.find(kResult);
    if (result == std::string::npos) continue;
    const std::size_t digits = std::string("[Trial ").size();
    const std::size_t close = line.find_first_not_of("0123456789", digits);
    if (line.rfind("[Trial ", 0) != 0 || close == digits || close == std::string::npos ||
        line.compare(close, kDone.size(), kDone) != 0 || close + kDone.size() != result + kResult.size())
      fail("result not right after its trial's Done.", line);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (total_trials(text) > kMaxTrialsPerInput) return -1;  // too slow to be worth running

  set_up_platform(size);
  ConsolePrinter printer;
  RunContext run{printer};
  // Half of the inputs end in a read error instead of the end of the file.
  if (size % 4 < 2) {
    std::istringstream in(text);
    run_configured_tests(in, run);
  } else {
    std::string bytes = text;
    FailingAtTheEnd buffer(bytes);
    std::istream in(&buffer);
    run_configured_tests(in, run);
  }

  check_volume();
  check_trial_lines(fake::console_text());
  return 0;
}
