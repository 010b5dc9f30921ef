#include "trials/console_line.h"

#include <cstring>
#include <ostream>
#include <streambuf>

#include "platform/console.h"
#include "trials/notes.h"
#include "trials/progress.h"

namespace {

// Passes every byte on to the console's own buffer at once (it holds none
// itself), so buffering and write errors stay the console's.
class ConsoleLineFilter : public std::streambuf {
 public:
  std::streambuf* next = nullptr;
  std::size_t column = 0;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }

  std::streamsize xsputn(const char* text, std::streamsize length) override {
    if (length <= 0) return 0;
    erase_progress();
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
      if (notes_held()) {
        next->pubsync();
        write_held_notes();
      }
    }
    return done;
  }

  int sync() override { return next->pubsync(); }
};

// Never destroyed: the C++ library flushes std::cout after every static
// object has gone.
ConsoleLineFilter& filter() {
  static ConsoleLineFilter* const instance = new ConsoleLineFilter;
  return *instance;
}

}  // namespace

void follow_console_lines() {
  std::ostream& out = console();
  ConsoleLineFilter& line = filter();
  if (out.rdbuf() != &line) {
    line.next = out.rdbuf();
    const std::ios::iostate kept = out.rdstate();
    out.rdbuf(&line);
    out.clear(kept);
  }
  line.column = 0;
}

std::size_t console_line_column() {
  return console().rdbuf() == &filter() ? filter().column : 0;
}
