#include "driver/run_sequence.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>

#include "console/console_printer.h"
#include "console/texts.h"
#include "driver/arguments.h"
#include "driver/build_stamp.h"
#include "driver/configuration.h"
#include "driver/os_name.h"
#include "driver/report_text.h"
#include "driver/result_json.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/failure.h"
#include "platform/interruption.h"
#include "platform/report_files.h"
#include "testrun/test_run.h"

namespace {

// The test run when there is no configuration file.
void run_default_test(RunContext& run) {
  run_test({CopyMethod::HL, "C:", "4K", "", 1000, 5}, run);
}

// The configuration's failure to open or read. The reason comes from errno,
// which the standard library's file streams leave as the system set it.
Outcome configuration_failure(const char* operation) {
  return failure(operation, kConfigurationFile,
                 errno != 0 ? std::strerror(errno) : "not a readable file");
}

// Opens the configuration and reads its first byte, which waits on a pipe
// until its writer writes or closes. Only a file that reads like a file is
// the configuration: a directory opens on some systems, but its first read
// fails, and it counts as unreadable. `missing` tells that there is no such
// file, which the console's text says well enough.
Outcome open_configuration(std::ifstream& file, bool& missing) {
  // Binary mode: line ends and Ctrl-Z are handled by the line reader alike on
  // every platform.
  errno = 0;
  file.open(kConfigurationFile, std::ios::in | std::ios::binary);
  missing = !file.is_open() && errno == ENOENT;
  if (!file.is_open()) return configuration_failure("open");
  file.peek();
  if (file.bad()) return configuration_failure("read");
  file.clear();  // an empty file has set the end-of-file bit
  return success();
}

}  // namespace

void write_report_file(ConsolePrinter& printer, const std::string& text) {
  // The report's CR LF line ends reach the file unchanged on every platform,
  // the same bytes the clipboard receives.
  Outcome in_place_because;
  const Outcome written = replace_file_contents(kReportFile, text, &in_place_because);
  if (!written) write_failure(printer, failure("write", kReportFile, written.reason));
  note_written_in_place(printer, kReportFile, in_place_because);
}

// After `c` at the prompt: the clipboard copy, and on a terminal what came of it.
void copy_report(ConsolePrinter& printer, const std::string& text) {
  const ClipboardCopy copy = copy_to_clipboard(text);
  if (!diagnostics_on_terminal()) return;
  if (copy.copied)
    write_note(printer, "copied the result to the clipboard (" + copy.how + ")");
  else
    write_note(printer, "could not copy the result to the clipboard: " + copy.reason);
}

int run_program(const std::vector<std::string>& arguments) {
  ConsolePrinter printer;
  int status = 0;
  switch (request_of_arguments(arguments)) {
    case Request::Help: console() << help_text(); break;
    case Request::Version: console() << version_text(); break;
    case Request::Run:
      if (!arguments.empty()) write_note(printer, ignored_arguments_note(arguments));
      status = run_benchmark(printer);
      break;
  }
  printer.release_notes();
  const Outcome output = finish_console();
  if (output) return status;
  write_failure(printer, output);
  return status == 0 ? 1 : status;
}

int run_benchmark(ConsolePrinter& printer) {
  RunContext run(printer);
  run.record.start_seconds = calendar_seconds_now();
  run.trials.generator.state = static_cast<std::uint32_t>(run.record.start_seconds);
  std::ostream& out = console();

  run.record.banner = text::kBuildOpen + build_stamp() + text::kBuildClose;
  out << run.record.banner << std::endl;

  const std::string name = os_name();
  if (name.empty()) {
    out << text::kNoOsVersion << std::endl;
    return 0;
  }
  run.record.os_line = text::kOsLine + name;
  out << run.record.os_line << std::endl;

  std::ifstream configuration;
  bool missing = false;
  const Outcome opened = open_configuration(configuration, missing);
  if (opened) {
    run.fixed_figures = true;
    run_configured_tests(configuration, run);
  } else {
    out << text::kNoConfiguration << std::endl;
    if (!missing) write_failure(printer, opened);
    run_default_test(run);
  }

  // An interrupted run has removed the work directory of its trial in
  // progress; it leaves the reports of an earlier run as they were.
  if (interruption_requested()) return interrupted_exit_status();
  // Every report is written from the run's record, now complete.
  run.record.end_seconds = calendar_seconds_now();
  const std::string report = report_text(run.record);
  write_report_file(printer, report);
  write_result_files(printer, run.record);

  out << text::kPressAnyKey << std::endl;
  out << text::kClipboardPrompt << std::endl;
  const int key = read_key();
  if (interruption_requested()) return interrupted_exit_status();
  if (key == 'c') copy_report(printer, report);
  return 0;
}
