#include "console/console_printer.h"

#include <cstring>
#include <ostream>

#include "console/escaped.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace {

// A phase shows after this long, and is drawn again this often.
constexpr std::uint32_t kFirstDrawMs = 500;
constexpr std::uint32_t kRedrawMs = 250;
// The width assumed when the terminal does not tell its own.
constexpr int kDefaultColumns = 80;

// Takes `shown` characters of the indicator off the terminal: on the
// console's line, back over them, blanks, and back again; on a line of its
// own, to its start and the same.
std::string erasing(std::size_t shown, bool shared) {
  if (shown == 0) return std::string();
  const std::string blank(shown, ' ');
  if (shared) {
    const std::string back(shown, '\b');
    return back + blank + back;
  }
  return "\r" + blank + "\r";
}

// The indicator's line for `figures`, fitted to the terminal: the last column
// stays free (a character there leaves the cursor waiting to wrap, where
// backspaces do not act alike on every terminal), and on the console's line a
// blank first parts it from the console's words.
std::string fitted_text(const IndicatorFigures& figures, bool shared, std::size_t column) {
  int columns = terminal_columns();
  if (columns <= 0) columns = kDefaultColumns;
  const std::size_t used = shared ? column : 0;
  const std::size_t width = static_cast<std::size_t>(columns);
  const std::size_t room = width > used + 1 ? width - used - 1 : 0;
  const std::size_t lead = shared ? 1 : 0;
  std::string text = room > lead ? indicator_text(figures, room - lead) : std::string();
  if (!text.empty()) text.insert(0, lead, ' ');
  return text;
}

void write_line(const std::string& text) { diagnostics() << note_line(text) << std::endl; }

}  // namespace

ConsolePrinter::LineFilter::int_type ConsolePrinter::LineFilter::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::streamsize ConsolePrinter::LineFilter::xsputn(const char* text, std::streamsize length) {
  if (length <= 0) return 0;
  printer_.stop_indicator(printer_.shared_);
  std::streamsize done = 0;
  while (done < length) {
    const char* piece = text + done;
    const void* line_end = std::memchr(piece, '\n', static_cast<std::size_t>(length - done));
    const std::streamsize piece_length =
        line_end != nullptr ? static_cast<const char*>(line_end) - piece + 1 : length - done;
    const std::streamsize put = next->sputn(piece, piece_length);
    done += put;
    if (put < piece_length) break;
    if (line_end == nullptr) {
      column += static_cast<std::size_t>(piece_length);
      continue;
    }
    column = 0;
    // A note held while the line was open follows the line's end, which
    // must reach standard output first.
    if (!printer_.held_notes_.empty()) {
      next->pubsync();
      printer_.write_held_notes();
    }
  }
  return done;
}

ConsolePrinter::ConsolePrinter() : filter_(*this) {
  std::ostream& out = console();
  filter_.next = out.rdbuf();
  const std::ios::iostate kept = out.rdstate();
  out.rdbuf(&filter_);
  out.clear(kept);
}

ConsolePrinter::~ConsolePrinter() {
  if (thread_.running()) {
    {
      HeldLock held(lock_);
      quit_ = true;
      ++request_serial_;
    }
    wake_thread_.set();
    thread_.join();
  }
  std::ostream& out = console();
  if (out.rdbuf() == &filter_) {
    out.flush();
    const std::ios::iostate kept = out.rdstate();
    out.rdbuf(filter_.next);
    out.clear(kept);
  }
}

void ConsolePrinter::note(const std::string& text) {
  every_note_.push_back(text);
  stop_indicator(true);
  if (column() > 0) {
    held_notes_.push_back(text);
    return;
  }
  write_line(text);
}

void ConsolePrinter::write_held_notes() {
  std::vector<std::string> notes;
  notes.swap(held_notes_);
  stop_indicator(true);
  for (const std::string& note : notes) write_line(note);
}

void ConsolePrinter::release_notes() {
  if (held_notes_.empty()) return;
  stop_indicator(true);
  console().flush();
  if (column() > 0 && progress_terminal().shared_with_console) diagnostics() << '\n';
  write_held_notes();
}

void ConsolePrinter::begin_test(std::int32_t trial_count) {
  trial_count_ = trial_count;
  trial_index_ = 0;
  pace_ = TestPace();
}

void ConsolePrinter::begin_trial(std::int32_t index) { trial_index_ = index; }

void ConsolePrinter::begin_phase(ProgressPhase phase, std::int32_t file_count,
                                 std::uint64_t file_bytes) {
  counters_.bytes_done(0);
  counters_.files_done(0);
  drawing_ = false;
  const TerminalView terminal = progress_terminal();
  shared_ = terminal.shared_with_console;
  if (!terminal.drawable) return;
  if (!thread_.running() && !thread_refused_)
    thread_refused_ = !thread_.start(&ConsolePrinter::run_indicator, this);
  if (!thread_.running()) return;
  phase_ = phase;
  file_bytes_ = file_bytes;
  phase_total_ = file_bytes * static_cast<std::uint64_t>(file_count < 0 ? 0 : file_count);
  phase_start_ms_ = milliseconds_now();
  {
    HeldLock held(lock_);
    Request& r = request_;
    r.active = true;
    r.shared = shared_;
    r.column = column();
    r.figures = IndicatorFigures();
    r.figures.phase = phase;
    r.figures.file_count = file_count;
    r.figures.file_bytes = file_bytes;
    r.figures.trial_index = trial_index_;
    r.figures.trial_count = trial_count_;
    r.phase_start_ms = phase_start_ms_;
    r.pace = pace_;
    ++r.phase_serial;
    ++request_serial_;
  }
  drawing_ = true;
  may_show_ = true;
  wake_thread_.set();
}

void ConsolePrinter::end_phase() {
  if (!drawing_) return;
  drawing_ = false;
  // The phase's work joins the test's pace, for the time left.
  std::uint64_t done = counters_.bytes.load(std::memory_order_relaxed);
  const std::uint64_t files =
      file_bytes_ * static_cast<std::uint64_t>(counters_.files.load(std::memory_order_relaxed));
  if (files > done) done = files;
  if (done > phase_total_) done = phase_total_;
  add_to_pace(pace_, phase_, done, milliseconds_now() - phase_start_ms_);
  stop_indicator(false);
}

void ConsolePrinter::stop_indicator(bool wait) {
  if (!may_show_) return;
  std::uint64_t serial = 0;
  {
    HeldLock held(lock_);
    if (request_.active) {
      request_.active = false;
      ++request_serial_;
    }
    serial = request_serial_;
  }
  wake_thread_.set();
  if (!wait) return;
  for (;;) {
    {
      HeldLock held(lock_);
      if (done_serial_ >= serial) break;
    }
    wake_run_.wait(kWaitForever);
  }
  may_show_ = false;
}

void ConsolePrinter::run_indicator(void* printer) {
  static_cast<ConsolePrinter*>(printer)->indicator_loop();
}

// The indicator's thread: draws the phase it is asked to show every
// kRedrawMs, from the counters and the clock, and erases it when asked. No
// lock is held across a write, so a terminal that stops reading holds up
// this thread alone.
void ConsolePrinter::indicator_loop() {
  std::size_t shown = 0;  // characters of the indicator on the terminal, ending at the cursor
  bool shown_shared = false;
  std::uint64_t drawn_phase = 0;  // the phase_serial of what shows
  std::uint32_t last_draw_ms = 0;
  for (;;) {
    Request r;
    std::uint64_t serial = 0;
    bool quit = false;
    {
      HeldLock held(lock_);
      r = request_;
      serial = request_serial_;
      quit = quit_;
    }
    std::uint32_t wait_ms = kWaitForever;
    std::string out;
    if (!r.active || quit) {
      out = erasing(shown, shown_shared);
      shown = 0;
    } else {
      const std::uint32_t now = milliseconds_now();
      const std::uint32_t phase_ms = now - r.phase_start_ms;
      const bool drawn = drawn_phase == r.phase_serial;
      if (phase_ms < kFirstDrawMs) {
        // A phase that has just begun shows nothing yet, not its forerunner.
        if (!drawn) {
          out = erasing(shown, shown_shared);
          shown = 0;
        }
        wait_ms = kFirstDrawMs - phase_ms;
      } else if (drawn && now - last_draw_ms < kRedrawMs) {
        wait_ms = kRedrawMs - (now - last_draw_ms);
      } else {
        IndicatorFigures figures = r.figures;
        std::uint64_t done = counters_.bytes.load(std::memory_order_relaxed);
        const std::uint64_t files =
            figures.file_bytes *
            static_cast<std::uint64_t>(counters_.files.load(std::memory_order_relaxed));
        figures.bytes_done = files > done ? files : done;
        figures.phase_ms = phase_ms;
        figures.ms_left = test_ms_left(r.pace, figures);
        const std::string text = fitted_text(figures, r.shared, r.column);
        out = erasing(shown, shown_shared) + text;
        shown = text.size();
        shown_shared = r.shared;
        drawn_phase = r.phase_serial;
        last_draw_ms = now;
        wait_ms = kRedrawMs;
      }
    }
    if (!out.empty()) diagnostics() << out << std::flush;
    {
      HeldLock held(lock_);
      done_serial_ = serial;
    }
    wake_run_.set();
    if (quit) return;
    wake_thread_.wait(wait_ms);
  }
}

std::string ConsolePrinter::note_line_at(std::size_t index) const {
  return note_line(every_note_.at(index));
}

std::string note_line(const std::string& text) { return "varnoquelbit: " + escaped(text); }

void write_note(ConsolePrinter& printer, const std::string& text) { printer.note(text); }

void write_failure(ConsolePrinter& printer, const Outcome& outcome) {
  if (outcome) return;
  printer.note(outcome.operation + " '" + outcome.path + "': " + outcome.reason);
}
