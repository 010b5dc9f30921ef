#include "trials/progress.h"

#include <cstdio>
#include <ostream>
#include <string>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/terminal.h"
#include "trials/console_line.h"

#ifdef VARNO_PROGRESS_COST
#include <chrono>
#include <ctime>

#include "trials/notes.h"
#endif

namespace {

// A phase shows after this long, and draws again no sooner than this.
constexpr std::uint32_t kFirstDrawMs = 500;
constexpr std::uint32_t kRedrawMs = 250;
// In the timed copy phase, once a second: each drawing is a write to the
// terminal that wakes its reader, which may take the processor from the copy.
constexpr std::uint32_t kTimedRedrawMs = 1000;
// The clock is looked at about this often while the work goes at an even pace.
constexpr std::uint32_t kLookMs = 10;
// The width assumed when the terminal does not tell its own.
constexpr int kDefaultColumns = 80;

struct Progress {
  // The test.
  std::int32_t trial_count = 0;
  std::int32_t trial_index = 0;
  std::uint32_t test_start_ms = 0;
  bool test_clock_started = false;
  std::uint32_t trial_start_ms = 0;
  bool trial_clock_started = false;
  // The phase.
  bool on = false;      // drawing on standard error during this phase
  bool shared = false;  // standard output is the same terminal
  ProgressPhase phase = ProgressPhase::Preparing;
  std::int32_t file_count = 0;
  std::uint64_t file_bytes = 0;
  std::uint32_t phase_start_ms = 0;
  std::uint32_t last_draw_ms = 0;
  bool drawn = false;  // drawn at least once in this phase
  // The clock is looked at from this many bytes done on; the last look.
  std::uint64_t look_at_bytes = 0;
  std::uint64_t last_look_bytes = 0;
  std::uint32_t last_look_ms = 0;
  // What the terminal shows of the indicator: this many characters, ending
  // at the cursor.
  std::size_t shown = 0;
};

Progress& progress() {
  static Progress state;
  return state;
}

#ifdef VARNO_PROGRESS_COST
// The bench build sums the time spent in the indicator inside the copy
// phase, and that phase's own time, and tells both at the test's end.
struct Cost {
  std::chrono::steady_clock::duration in_indicator{};
  std::chrono::steady_clock::duration timed{};
  std::chrono::steady_clock::time_point phase_start{};
  std::uint64_t boundaries = 0;  // told to the indicator
  std::uint64_t looks = 0;       // of them, those that looked at the clock
  std::chrono::steady_clock::duration in_drawings{};  // of in_indicator
  // The processor time of the drawings: their wall time also holds the time
  // the process waits for a processor after a write has woken the terminal's
  // reader, which on a busy machine is most of it.
  std::clock_t processor_in_drawings = 0;
  std::uint64_t drawings = 0;
};
Cost& cost() {
  static Cost state;
  return state;
}
#endif

const char* phase_name(ProgressPhase phase) {
  switch (phase) {
    case ProgressPhase::Preparing: return "preparing";
    case ProgressPhase::Copying: return "copying";
    case ProgressPhase::WritingOut: return "writing out";
    case ProgressPhase::ReadingBack: return "reading back";
  }
  return "";
}

// The phases of a trial, in order (ProgressPhase lists them so).
constexpr double kPhases = 4.0;

// Megabytes (1 MB = 1,048,576 bytes, as the console's figures), with a
// decimal only while the total is small.
std::string megabytes(std::uint64_t bytes, std::uint64_t total) {
  char text[32];
  std::snprintf(text, sizeof text, total >= 100 * 1048576ull ? "%.0f" : "%.1f",
                static_cast<double>(bytes) / 1048576.0);
  return text;
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

// The indicator's words, the longest that fits in `room` characters: the
// phase, files and bytes done, percent, the current MB/s where the copy's own
// figure is not at stake, the trial and the time the test has left. Narrower
// terminals lose the speed, then the files and bytes, then the trial.
std::string indicator_text(const Progress& p, std::uint64_t done, std::uint32_t now,
                           std::size_t room) {
  const std::uint64_t total = p.file_bytes * static_cast<std::uint64_t>(p.file_count);
  if (done > total) done = total;
  const std::uint64_t files = p.file_bytes == 0 ? 0 : done / p.file_bytes;
  const double part = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
  const std::string phase = phase_name(p.phase);
  const std::string percent = std::to_string(static_cast<int>(part * 100.0)) + "%";
  const std::string amounts = std::to_string(files) + "/" + std::to_string(p.file_count) +
                              " files, " + megabytes(done, total) + "/" +
                              megabytes(total, total) + " MB, ";
  std::string speed;
  const std::uint32_t phase_ms = now - p.phase_start_ms;
  if (p.phase != ProgressPhase::Copying && phase_ms > 0) {
    char text[32];
    std::snprintf(text, sizeof text, ", %.1f MB/s",
                  static_cast<double>(done) / 1048576.0 / (phase_ms / 1000.0));
    speed = text;
  }
  std::string trial =
      "; trial " + std::to_string(p.trial_index + 1) + " of " + std::to_string(p.trial_count);
  // The time left: after the first trial, the trials done tell how long one
  // takes; during it, its share done, each phase weighing alike.
  const std::uint32_t test_ms = now - p.test_start_ms;
  double left_ms = -1.0;
  if (p.trial_index > 0) {
    const double per_trial =
        static_cast<double>(p.trial_start_ms - p.test_start_ms) / p.trial_index;
    left_ms = per_trial * (p.trial_count - p.trial_index) - (now - p.trial_start_ms);
    if (left_ms < 0) left_ms = 0;
  } else if (p.trial_count > 0 && test_ms >= 1000) {
    const double test_part =
        (p.trial_index + (static_cast<int>(p.phase) + part) / kPhases) / static_cast<double>(p.trial_count);
    if (test_part > 0.0) left_ms = static_cast<double>(test_ms) * (1.0 - test_part) / test_part;
  }
  if (left_ms >= 0)
    trial += ", about " + duration_text(static_cast<std::uint64_t>(left_ms / 1000.0 + 0.5)) +
             " left";
  for (const std::string& text : {phase + " " + amounts + percent + speed + trial,
                                  phase + " " + amounts + percent + trial,
                                  phase + " " + percent + trial, phase + " " + percent})
    if (text.size() <= room) return text;
  return std::string();
}

// Takes what shows off the terminal: on the console's line, back over it,
// blanks, and back again; on a line of its own, to its start and the same.
std::string erasing(const Progress& p) {
  if (p.shown == 0) return std::string();
  const std::string back(p.shown, '\b');
  const std::string blank(p.shown, ' ');
  if (p.shared) return back + blank + back;
  return "\r" + blank + "\r";
}

void draw(Progress& p, std::uint64_t done, std::uint32_t now) {
  int columns = terminal_columns();
  if (columns <= 0) columns = kDefaultColumns;
  // The last column stays free: a character there leaves the cursor waiting
  // to wrap, where backspaces do not act alike on every terminal.
  const std::size_t used = p.shared ? console_line_column() : 0;
  const std::size_t room =
      static_cast<std::size_t>(columns) > used + 1 ? static_cast<std::size_t>(columns) - used - 1 : 0;
  // On the console's line, a blank first parts it from the console's words.
  const std::size_t lead = p.shared ? 1 : 0;
  std::string text = room > lead ? indicator_text(p, done, now, room - lead) : std::string();
  if (!text.empty()) text.insert(0, lead, ' ');
  // The old text off, then the new one where it began.
  const std::string out = erasing(p) + text;
  p.shown = text.size();
  if (!out.empty()) diagnostics() << out << std::flush;
}

}  // namespace

void progress_begin_test(std::int32_t trial_count) {
  Progress& p = progress();
  p.trial_count = trial_count;
  p.trial_index = 0;
  p.test_clock_started = false;
#ifdef VARNO_PROGRESS_COST
  cost() = Cost();
#endif
}

void progress_begin_trial(std::int32_t index) {
  progress().trial_index = index;
  progress().trial_clock_started = false;
}

void progress_end_test() {
  erase_progress();
  progress().on = false;
#ifdef VARNO_PROGRESS_COST
  using std::chrono::duration;
  const Cost& c = cost();
  const double in_ms = duration<double, std::milli>(c.in_indicator).count();
  const double timed_ms = duration<double, std::milli>(c.timed).count();
  char text[256];
  std::snprintf(text, sizeof text,
                "progress cost: %.3f ms in %llu looks at the clock of %llu boundaries during "
                "%.1f ms of copy phases (%.4f %%), %.3f ms of it in %llu drawings; "
                "their processor time %.3f ms",
                in_ms, static_cast<unsigned long long>(c.looks),
                static_cast<unsigned long long>(c.boundaries), timed_ms,
                timed_ms > 0 ? 100.0 * in_ms / timed_ms : 0.0,
                duration<double, std::milli>(c.in_drawings).count(),
                static_cast<unsigned long long>(c.drawings),
                1000.0 * static_cast<double>(c.processor_in_drawings) / CLOCKS_PER_SEC);
  write_note(text);
#endif
}

void progress_begin_phase(ProgressPhase phase, std::int32_t file_count, std::uint64_t file_bytes) {
  Progress& p = progress();
  erase_progress();
  const TerminalView terminal = progress_terminal();
  p.on = terminal.drawable;
  p.shared = terminal.shared_with_console;
  p.phase = phase;
  p.file_count = file_count;
  p.file_bytes = file_bytes;
  p.drawn = false;
  if (!p.on) return;
  p.phase_start_ms = milliseconds_now();
  p.look_at_bytes = 0;
  p.last_look_bytes = 0;
  p.last_look_ms = p.phase_start_ms;
  if (!p.test_clock_started) {
    p.test_start_ms = p.phase_start_ms;
    p.test_clock_started = true;
  }
  if (!p.trial_clock_started) {
    p.trial_start_ms = p.phase_start_ms;
    p.trial_clock_started = true;
  }
#ifdef VARNO_PROGRESS_COST
  if (phase == ProgressPhase::Copying) cost().phase_start = std::chrono::steady_clock::now();
#endif
}

void progress_at(std::uint64_t bytes_done) {
  Progress& p = progress();
#ifdef VARNO_PROGRESS_COST
  if (p.on && p.phase == ProgressPhase::Copying) ++cost().boundaries;
#endif
  // Between looks at the clock, a boundary costs this one comparison.
  if (!p.on || bytes_done < p.look_at_bytes) return;
#ifdef VARNO_PROGRESS_COST
  const bool timed = p.phase == ProgressPhase::Copying;
  const auto entered = std::chrono::steady_clock::now();
#endif
  const std::uint32_t now = milliseconds_now();
  // The next look comes after about kLookMs of work at the pace since the
  // last one; within the same millisecond, after twice the bytes.
  const std::uint64_t moved = bytes_done - p.last_look_bytes;
  const std::uint32_t waited = now - p.last_look_ms;
  p.look_at_bytes = bytes_done + (waited == 0 ? 2 * moved : moved * kLookMs / waited);
  p.last_look_bytes = bytes_done;
  p.last_look_ms = now;
  const std::uint32_t redraw_ms =
      p.phase == ProgressPhase::Copying ? kTimedRedrawMs : kRedrawMs;
  if (now - p.phase_start_ms >= kFirstDrawMs && (!p.drawn || now - p.last_draw_ms >= redraw_ms)) {
    p.drawn = true;
    p.last_draw_ms = now;
#ifdef VARNO_PROGRESS_COST
    const auto drawing = std::chrono::steady_clock::now();
    const std::clock_t drawing_processor = std::clock();
#endif
    draw(p, bytes_done, now);
#ifdef VARNO_PROGRESS_COST
    if (timed) {
      cost().processor_in_drawings += std::clock() - drawing_processor;
      cost().in_drawings += std::chrono::steady_clock::now() - drawing;
      ++cost().drawings;
    }
#endif
  }
#ifdef VARNO_PROGRESS_COST
  if (timed) {
    cost().in_indicator += std::chrono::steady_clock::now() - entered;
    ++cost().looks;
  }
#endif
}

void progress_files_done(std::int32_t files_done) {
  progress_at(progress().file_bytes * static_cast<std::uint64_t>(files_done));
}

void progress_end_phase() {
  Progress& p = progress();
#ifdef VARNO_PROGRESS_COST
  if (p.on && p.phase == ProgressPhase::Copying)
    cost().timed += std::chrono::steady_clock::now() - cost().phase_start;
#endif
  erase_progress();
  p.on = false;
}

void erase_progress() {
  Progress& p = progress();
  if (p.shown == 0) return;
  const std::string out = erasing(p);
  p.shown = 0;
  diagnostics() << out << std::flush;
}

