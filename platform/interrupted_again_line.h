// The line a second interruption writes before the process ends, shared by
// the native layers (the logic never includes this). It is put together
// without memory of its own, so a signal handler may call it while the run
// is in the middle of an allocation.
#pragma once
#include <cstddef>
#include <cstring>

// Writes "<end>varnoquelbit: interrupted again; leaving '<directory>'<end>"
// into `line` (room for `limit` bytes; what does not fit is cut), or the line
// without its leaving part when `length`, the directory's length, is 0.
// Returns the line's length. `end` is the layer's line end.
inline std::size_t interrupted_again_line(char* line, std::size_t limit, const char* directory,
                                          std::size_t length, const char* end) {
  std::size_t used = 0;
  const auto append = [&](const char* text, std::size_t count) {
    for (std::size_t i = 0; i < count && used < limit; ++i) line[used++] = text[i];
  };
  const std::size_t end_length = std::strlen(end);
  append(end, end_length);
  constexpr char kStart[] = "varnoquelbit: interrupted again";
  append(kStart, sizeof kStart - 1);
  if (length != 0) {
    constexpr char kLeaving[] = "; leaving '";
    append(kLeaving, sizeof kLeaving - 1);
    append(directory, length);
    append("'", 1);
  }
  append(end, end_length);
  return used;
}
