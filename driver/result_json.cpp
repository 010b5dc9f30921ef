#include "driver/result_json.h"

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include <nlohmann/json.hpp>

#include "console/console_printer.h"
#include "console/escaped.h"
#include "driver/arguments.h"
#include "driver/build_stamp.h"
#include "platform/failure.h"
#include "platform/report_files.h"
#include "platform/system_info.h"
#include "trials/copy_method.h"

namespace {

// Keys stay in the order written here, the order the format lists them.
using json = nlohmann::ordered_json;

json text(const std::string& bytes) { return utf8_text(bytes); }
json text_or_null(const std::string& bytes) {
  return bytes.empty() ? json(nullptr) : text(bytes);
}
template <typename T>
json value_or_null(const std::optional<T>& value) {
  return value ? json(*value) : json(nullptr);
}

json stop_name(TestStop stop) {
  switch (stop) {
    case TestStop::None: return nullptr;
    case TestStop::Drive: return "drive";
    case TestStop::Size: return "size";
    case TestStop::Buffer: return "buffer";
    case TestStop::Space: return "space";
    case TestStop::Trials: return "trials";
  }
  return nullptr;
}

const char* outcome_name(TrialOutcome outcome) {
  switch (outcome) {
    case TrialOutcome::Done: return "done";
    case TrialOutcome::InitFailed: return "init_failed";
    case TrialOutcome::OpenFailed: return "open_failed";
    case TrialOutcome::CopyFailed: return "copy_failed";
    case TrialOutcome::ZeroMs: return "zero_ms";
    case TrialOutcome::Interrupted: return "interrupted";
  }
  return "copy_failed";
}

json system_json(const std::string& os_line, const SystemDescription& system) {
  json kernel = nullptr;
  if (!(system.kernel_name.empty() && system.kernel_release.empty() &&
        system.kernel_version.empty() && system.machine.empty()))
    kernel = {{"name", text_or_null(system.kernel_name)},
              {"release", text_or_null(system.kernel_release)},
              {"version", text_or_null(system.kernel_version)},
              {"machine", text_or_null(system.machine)}};
  json windows = nullptr;
  if (system.windows_version || system.windows_64bit) {
    windows = {{"major", nullptr}, {"minor", nullptr}, {"build", nullptr},
               {"is_64bit", value_or_null(system.windows_64bit)}};
    if (system.windows_version) {
      windows["major"] = system.windows_version->major;
      windows["minor"] = system.windows_version->minor;
      windows["build"] = system.windows_version->build;
    }
  }
  return {{"os_line", text(os_line)},
          {"kernel", kernel},
          {"distribution", text_or_null(system.distribution)},
          {"windows", windows},
          {"cpu_model", text_or_null(system.cpu_model)},
          {"logical_cpus", value_or_null(system.logical_cpus)},
          {"memory_bytes", value_or_null(system.memory_bytes)}};
}

json volume_json(const VolumeDescription& volume) {
  const DiskDescription& disk = volume.disk;
  json described = {{"fs_type", text_or_null(volume.file_system)},
                    {"mount_point", text_or_null(volume.mount_point)},
                    {"source", text_or_null(volume.source)},
                    {"device", text_or_null(disk.name)},
                    {"vendor", text_or_null(disk.vendor)},
                    {"model", text_or_null(disk.model)},
                    {"transport", text_or_null(disk.transport)},
                    {"removable", value_or_null(disk.removable)},
                    {"rotational", value_or_null(disk.rotational)},
                    {"logical_sector_bytes", value_or_null(disk.logical_sector_bytes)},
                    {"physical_sector_bytes", value_or_null(disk.physical_sector_bytes)},
                    {"total_bytes", nullptr},
                    {"free_bytes", nullptr}};
  if (volume.figures) {
    described["total_bytes"] = volume.figures->total_bytes;
    described["free_bytes"] = volume.figures->free_bytes;
  }
  return described;
}

json trial_json(const TrialRecord& trial) {
  return {{"index", trial.index},
          {"outcome", outcome_name(trial.outcome)},
          {"milliseconds", value_or_null(trial.milliseconds)},
          {"seconds", value_or_null(trial.seconds)},
          {"mb_per_s", value_or_null(trial.mb_per_s)},
          {"seconds_text", text_or_null(trial.seconds_text)},
          {"mb_per_s_text", text_or_null(trial.mb_per_s_text)},
          {"bytes_read_back", value_or_null(trial.bytes_read_back)},
          {"write_out_ms", value_or_null(trial.write_out_ms)},
          {"reason", text_or_null(trial.reason)}};
}

json test_json(const TestRecord& test) {
  json trials = json::array();
  for (const TrialRecord& trial : test.trials) trials.push_back(trial_json(trial));
  json average = nullptr;
  if (test.average)
    average = {{"mb_per_s", test.average->mb_per_s},
               {"seconds", test.average->seconds},
               {"mb_per_s_text", text(test.average->mb_per_s_text)},
               {"seconds_text", text(test.average->seconds_text)}};
  json cache_note = nullptr;
  if (test.cache_note)
    cache_note = {{"reason", text(test.cache_note->reason)}, {"text", text(test.cache_note->text)}};
  return {{"line", test.line ? text(*test.line) : json(nullptr)},
          {"method", copy_method_row(test.method).keyword},
          {"drive", text(test.drive)},
          {"path", test.volume ? text_or_null(test.volume->path) : json(nullptr)},
          {"file_size", text(test.file_size)},
          {"file_size_bytes", value_or_null(test.file_size_bytes)},
          {"buffer_size", text_or_null(test.buffer_size)},
          {"buffer_size_bytes", value_or_null(test.buffer_size_bytes)},
          {"file_count", test.file_count},
          {"trial_count", test.trial_count},
          {"outcome", test.stopped_at == TestStop::None ? "ran" : "stopped"},
          {"stopped_at", stop_name(test.stopped_at)},
          {"console_text", text_or_null(test.console_text)},
          {"volume", test.volume ? volume_json(*test.volume) : json(nullptr)},
          {"cache_note", cache_note},
          {"copy_path", text_or_null(test.copy_path)},
          {"trials", trials},
          {"average", average}};
}

json run_json(const RunRecord& record, const SystemDescription& system) {
  json tests = json::array();
  for (const TestRecord& test : record.tests) tests.push_back(test_json(test));
  return {{"schema", 1},
          {"program",
           {{"name", "varnoquelbit"},
            {"version", program_version()},
            {"build_stamp", text(build_stamp())}}},
          {"start_utc", utc_time_text(record.start_seconds)},
          {"end_utc", utc_time_text(record.end_seconds)},
          {"system", system_json(record.os_line, system)},
          {"tests", tests}};
}

// Every text went through utf8_text, so the strict dump would not throw;
// replacing what it would throw on keeps it so whatever comes in later.
std::string dumped(const json& run, int indent) {
  return run.dump(indent, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::string utf8_text(const std::string& bytes) {
  std::string valid;
  valid.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = utf8_sequence(bytes, at);
    if (length > 0) {
      valid.append(bytes, at, length);
      at += length;
      continue;
    }
    const auto byte = static_cast<unsigned char>(bytes[at++]);
    valid += static_cast<char>(0xC0 | byte >> 6);
    valid += static_cast<char>(0x80 | (byte & 0x3F));
  }
  return valid;
}

std::string utc_time_text(std::int64_t seconds) {
  // Days since 1970-01-01 to a civil date (Howard Hinnant's days_from_civil
  // inverse), in whole 400-year eras.
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    days -= 1;
  }
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_index = (5 * day_of_year + 2) / 153;
  const std::int64_t day = day_of_year - (153 * month_index + 2) / 5 + 1;
  const std::int64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
  const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return buffer;
}

void note_written_in_place(ConsolePrinter& printer, const std::string& name,
                           const Outcome& because) {
  if (because) return;
  write_failure(printer, failure("wrote in place", name,
                                 "could not create a new file beside it: " + because.reason));
}

void write_result_files(ConsolePrinter& printer, const RunRecord& record) {
  const json run = run_json(record, describe_system());
  Outcome in_place_because;
  const Outcome written =
      replace_file_contents(kResultJsonFile, dumped(run, 2) + "\n", &in_place_because);
  if (!written) write_failure(printer, failure("write", kResultJsonFile, written.reason));
  note_written_in_place(printer, kResultJsonFile, in_place_because);
  const Outcome appended = append_line_to_file(kResultLinesFile, dumped(run, -1));
  if (!appended) write_failure(printer, failure("append to", kResultLinesFile, appended.reason));
}
