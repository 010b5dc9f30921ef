#include "console/escaped.h"

#include <cstdio>

namespace {

void append_hex(std::string& out, unsigned value) {
  char code[5];
  std::snprintf(code, sizeof code, "\\x%02X", value & 0xFF);
  out += code;
}

}  // namespace

std::size_t utf8_sequence(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  return length;
}

std::string escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if (byte < 0x20 || byte == 0x7F)
        append_hex(out, byte);
      else
        out += text[at];
      ++at;
      continue;
    }
    const std::size_t length = utf8_sequence(text, at);
    if (length == 0) {
      append_hex(out, byte);
      ++at;
    } else if (byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
      // U+0080 to U+009F: the C1 controls, CSI and OSC among them.
      append_hex(out, static_cast<unsigned char>(text[at + 1]));
      at += 2;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}
