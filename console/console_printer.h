// The one owner of what the terminal shows: the console's open line (how much
// of a line standard output has been given since its last line end), the
// notes held back while that line is open, and the progress indicator, drawn
// on standard error by a thread of its own from the counters the work
// publishes. Made once by the run and passed down to whatever writes a note
// or runs a phase.
//
// Every console text passes the printer's line filter: before it goes out the
// indicator is stopped (and, where standard output shows on the same
// terminal, its text erased first); after each line end the held notes
// follow. A note is written with the indicator stopped and erased, or held
// while the console's line is open, however long that line stays open.
//
// The indicator's thread is the only writer while a phase runs: the phase's
// loops store their counters and go on, so a terminal that stops reading
// stalls the indicator, never the work. Stopping it waits for its text to be
// erased only where something is about to be written to that same terminal.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>
#include <vector>

#include "console/indicator_text.h"
#include "platform/failure.h"
#include "platform/thread.h"

// What a phase's loops tell the indicator, without a lock, a clock or a
// write: how many bytes of the phase's files, or how many whole files, are
// done. Relaxed stores: the indicator only needs to see them eventually.
struct ProgressCounters {
  std::atomic<std::uint64_t> bytes{0};
  std::atomic<std::int32_t> files{0};
  void bytes_done(std::uint64_t done) { bytes.store(done, std::memory_order_relaxed); }
  void files_done(std::int32_t done) { files.store(done, std::memory_order_relaxed); }
};

class ConsolePrinter {
 public:
  // Puts the line filter in front of the console (once: a second printer
  // over the same console leaves the first one's filter in place).
  ConsolePrinter();
  // Stops the indicator's thread and takes the filter away again.
  ~ConsolePrinter();
  ConsolePrinter(const ConsolePrinter&) = delete;
  ConsolePrinter& operator=(const ConsolePrinter&) = delete;

  // Bytes written to the console since its last line end.
  std::size_t column() const { return filter_.column; }

  // A note: "varnoquelbit: <text>" and a line end on standard error, once
  // the indicator is off the terminal; held for the console's next line end
  // while a line is open.
  void note(const std::string& text);
  // The run's end: the held notes are written now, on a new line of their own
  // where standard output shows on the same terminal.
  void release_notes();
  // The notes of the run so far, written or held, in the order they came: how
  // many, and the line of one (as note_line gives it), for the run's record.
  std::size_t notes_so_far() const { return every_note_.size(); }
  std::string note_line_at(std::size_t index) const;

  // The indicator. A test of `trial_count` trials; its trial `index` (from 0).
  void begin_test(std::int32_t trial_count);
  void begin_trial(std::int32_t index);
  // A phase of the current trial over `file_count` files of `file_bytes`
  // bytes each: the counters start at 0, and the indicator shows after half
  // a second where standard error is a terminal to draw on.
  void begin_phase(ProgressPhase phase, std::int32_t file_count, std::uint64_t file_bytes);
  // The phase is over: the indicator is told to erase its text.
  void end_phase();
  ProgressCounters& counters() { return counters_; }

 private:
  // Counts the console's columns and calls back at each text and line end;
  // passes every byte on to the console's own buffer at once.
  class LineFilter : public std::streambuf {
   public:
    explicit LineFilter(ConsolePrinter& printer) : printer_(printer) {}
    std::streambuf* next = nullptr;
    std::size_t column = 0;

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize length) override;
    int sync() override { return next->pubsync(); }

   private:
    ConsolePrinter& printer_;
  };

  // What the indicator's thread is asked to show; under lock_.
  struct Request {
    bool active = false;  // a phase runs and may be drawn
    bool shared = false;  // on the console's line, after `column` bytes
    std::size_t column = 0;
    IndicatorFigures figures;  // the phase's constant figures
    std::uint32_t phase_start_ms = 0;
    TestPace pace;  // the test's phases before this one
    std::uint64_t phase_serial = 0;
  };

  static void run_indicator(void* printer);
  void indicator_loop();
  // Asks the thread to take the indicator off; with `wait`, returns once it
  // has (the terminal may then be written to).
  void stop_indicator(bool wait);
  void write_held_notes();

  LineFilter filter_;
  std::vector<std::string> held_notes_;
  std::vector<std::string> every_note_;
  ProgressCounters counters_;

  // The test as the run's thread knows it.
  std::int32_t trial_count_ = 0;
  std::int32_t trial_index_ = 0;
  TestPace pace_;
  bool drawing_ = false;   // this phase was handed to the thread
  bool may_show_ = false;  // the thread may still show text
  bool shared_ = false;    // standard output shows on standard error's terminal
  ProgressPhase phase_ = ProgressPhase::Preparing;
  std::uint64_t phase_total_ = 0;
  std::uint64_t file_bytes_ = 0;
  std::uint32_t phase_start_ms_ = 0;

  // Shared with the thread.
  ThreadLock lock_;
  Request request_;
  std::uint64_t request_serial_ = 0;  // each change of request_
  std::uint64_t done_serial_ = 0;     // the last change the thread has acted on
  bool quit_ = false;
  WakeUp wake_thread_;
  WakeUp wake_run_;
  bool thread_refused_ = false;
  SideThread thread_;  // last: it stops before the rest goes
};

// "varnoquelbit: <text>", a note's line as written: the text escaped (see
// console/escaped.h), since names in it come from the configuration, the
// mount table and the file system.
std::string note_line(const std::string& text);

// Writes the note "<text>" (see ConsolePrinter::note).
void write_note(ConsolePrinter& printer, const std::string& text);

// Writes a failure as the note "<operation> '<path>': <reason>". A success
// writes nothing.
void write_failure(ConsolePrinter& printer, const Outcome& outcome);
