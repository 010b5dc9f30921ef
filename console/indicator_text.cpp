#include "console/indicator_text.h"

#include <cstdio>

namespace {

const char* phase_name(ProgressPhase phase) {
  switch (phase) {
    case ProgressPhase::Preparing: return "preparing";
    case ProgressPhase::Copying: return "copying";
    case ProgressPhase::WritingOut: return "writing out";
    case ProgressPhase::ReadingBack: return "reading back";
  }
  return "";
}

// Megabytes (1 MB = 1,048,576 bytes, as the console's figures), with a
// decimal only while the total is small.
std::string megabytes(std::uint64_t bytes, std::uint64_t total) {
  char text[32];
  std::snprintf(text, sizeof text, total >= 100 * 1048576ull ? "%.0f" : "%.1f",
                static_cast<double>(bytes) / 1048576.0);
  return text;
}

std::uint64_t phase_total(const IndicatorFigures& f) {
  return f.file_bytes * static_cast<std::uint64_t>(f.file_count < 0 ? 0 : f.file_count);
}

}  // namespace

void add_to_pace(TestPace& pace, ProgressPhase phase, std::uint64_t bytes, std::uint32_t ms) {
  const int kind = static_cast<int>(phase);
  pace.ms[kind] += ms;
  pace.bytes[kind] += static_cast<double>(bytes);
}

std::optional<std::uint32_t> test_ms_left(const TestPace& done_before,
                                          const IndicatorFigures& now) {
  TestPace pace = done_before;
  add_to_pace(pace, now.phase, now.bytes_done, now.phase_ms);
  double all_ms = 0.0;
  double all_bytes = 0.0;
  for (int kind = 0; kind < kProgressPhases; ++kind) {
    all_ms += pace.ms[kind];
    all_bytes += pace.bytes[kind];
  }
  if (all_ms < 1000.0 || all_bytes <= 0.0) return std::nullopt;
  // Milliseconds per byte of each kind.
  double cost[kProgressPhases];
  for (int kind = 0; kind < kProgressPhases; ++kind)
    cost[kind] = pace.bytes[kind] > 0.0 ? pace.ms[kind] / pace.bytes[kind] : all_ms / all_bytes;
  const double total = static_cast<double>(phase_total(now));
  const int current = static_cast<int>(now.phase);
  const double done = static_cast<double>(now.bytes_done) < total
                          ? static_cast<double>(now.bytes_done) : total;
  double left = (total - done) * cost[current];
  double trial = 0.0;
  for (int kind = 0; kind < kProgressPhases; ++kind) {
    trial += total * cost[kind];
    if (kind > current) left += total * cost[kind];
  }
  const std::int32_t trials_after = now.trial_count - now.trial_index - 1;
  if (trials_after > 0) left += trial * trials_after;
  if (left > 4e9) left = 4e9;
  return static_cast<std::uint32_t>(left);
}

std::string duration_text(std::uint64_t seconds) {
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  return text;
}

std::string indicator_text(const IndicatorFigures& f, std::size_t room) {
  const std::uint64_t total = phase_total(f);
  const std::uint64_t done = f.bytes_done < total ? f.bytes_done : total;
  const std::uint64_t files = f.file_bytes == 0 ? 0 : done / f.file_bytes;
  const double part = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
  const std::string phase = phase_name(f.phase);
  const std::string percent = std::to_string(static_cast<int>(part * 100.0)) + "%";
  const std::string amounts = std::to_string(files) + "/" + std::to_string(f.file_count) +
                              " files, " + megabytes(done, total) + "/" +
                              megabytes(total, total) + " MB, ";
  char rate_text[48];
  std::snprintf(rate_text, sizeof rate_text, "%.1f MB/s",
                f.phase_ms == 0 ? 0.0
                                : static_cast<double>(done) / 1048576.0 / (f.phase_ms / 1000.0));
  const std::string rate = rate_text;
  const std::string trial =
      "; trial " + std::to_string(f.trial_index + 1) + " of " + std::to_string(f.trial_count);
  const std::string left =
      f.ms_left ? ", about " + duration_text((*f.ms_left + 500u) / 1000u) + " left" : "";
  for (const std::string& text :
       {phase + " " + amounts + rate + ", " + percent + trial + left,
        phase + " " + rate + ", " + percent + trial + left,
        phase + " " + rate + ", " + percent + trial,
        phase + " " + rate + ", " + percent,
        phase + " " + rate,
        rate})
    if (text.size() <= room) return text;
  return std::string();
}
