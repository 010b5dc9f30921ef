#include "driver/escaped_name.h"

#include <cstdint>

namespace {

void append_escaped_byte(std::string& out, unsigned char byte) {
  static const char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

// The length of the valid UTF-8 sequence at `at` and its code point; 0 when
// the bytes there are no valid sequence (overlong forms and surrogates are not).
std::size_t utf8_sequence(const std::string& text, std::size_t at, std::uint32_t& code) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  std::uint32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string escaped_name(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    const unsigned char byte = static_cast<unsigned char>(name[at]);
    if (byte < 0x80) {
      if (byte < 0x20 || byte == 0x7F)
        append_escaped_byte(out, byte);
      else
        out += name[at];
      ++at;
      continue;
    }
    std::uint32_t code = 0;
    const std::size_t length = utf8_sequence(name, at, code);
    if (length == 0) {
      append_escaped_byte(out, byte);
      ++at;
    } else if (code <= 0x9F) {  // a C1 control
      for (std::size_t i = 0; i < length; ++i)
        append_escaped_byte(out, static_cast<unsigned char>(name[at + i]));
      at += length;
    } else {
      out.append(name, at, length);
      at += length;
    }
  }
  return out;
}
