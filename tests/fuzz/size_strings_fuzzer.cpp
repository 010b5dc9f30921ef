// Feeds arbitrary byte strings to the size-string conversion and checks the
// properties every caller relies on:
// - a string whose last character is not K, M or G (either case) gives 0;
// - the unit letter's case does not matter;
// - a non-zero result has the sign of the leading number;
// - K, M and G results of one number differ by the factor 1024, up to the
//   dropped fraction;
// - for a number that begins with a digit or a full stop, the result is the
//   C library's reading of the number (with d read as e) times the unit,
//   truncated toward zero, or 0 when that does not fit 64 bits.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "testrun/size_strings.h"

namespace {

void fail(const char* what, const std::string& text, std::int64_t a, std::int64_t b) {
  std::fprintf(stderr, "property broken: %s\ntext (%zu bytes): \"%s\"\n%lld vs %lld\n", what,
               text.size(), text.c_str(), static_cast<long long>(a),
               static_cast<long long>(b));
  std::abort();
}

bool is_unit(char c) {
  return c == 'k' || c == 'K' || c == 'm' || c == 'M' || c == 'g' || c == 'G';
}

std::size_t number_start(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  return i;
}

std::string with_unit(std::string text, char unit) {
  text.back() = unit;
  return text;
}

// |larger - smaller * 1024| stays below 1024, on the same side of zero.
void check_factor(const std::string& text, std::int64_t smaller, std::int64_t larger) {
  if (larger == 0) return;  // below 1 KiB or beyond 64 bits
  if (smaller > INT64_MAX / 1024 || smaller < INT64_MIN / 1024) fail("factor", text, smaller, larger);
  const std::int64_t scaled = smaller * 1024;
  const bool ok = larger >= 0 ? (scaled <= larger && larger - scaled < 1024)
                              : (scaled >= larger && scaled - larger < 1024);
  if (!ok) fail("units differ by 1024", text, smaller, larger);
}

// The C library's reading of a number that starts with a digit or a point.
bool reference_value(const std::string& text, double factor, std::int64_t& expected) {
  std::size_t i = number_start(text);
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) return false;
  // strtod would read hexadecimal numbers; this reading stops at the x.
  if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))
    return false;
  std::string normalized = text;
  for (char& c : normalized)
    if (c == 'd' || c == 'D') c = 'e';
  const double value = std::strtod(normalized.c_str(), nullptr) * factor;
  constexpr double kLimit = 9223372036854775808.0;
  expected = (value > -kLimit && value < kLimit) ? static_cast<std::int64_t>(value) : 0;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::int64_t kib = parse_size_kib(text);
  if (text.empty() || !is_unit(text.back())) {
    if (kib != 0) fail("no unit letter, yet not 0", text, kib, 0);
    return 0;
  }

  const std::int64_t k = parse_size_kib(with_unit(text, 'K'));
  const std::int64_t m = parse_size_kib(with_unit(text, 'M'));
  const std::int64_t g = parse_size_kib(with_unit(text, 'G'));
  const std::int64_t lower[] = {parse_size_kib(with_unit(text, 'k')),
                                parse_size_kib(with_unit(text, 'm')),
                                parse_size_kib(with_unit(text, 'g'))};
  if (lower[0] != k || lower[1] != m || lower[2] != g) fail("unit case matters", text, k, lower[0]);

  const std::size_t start = number_start(text);
  const bool negative = start < text.size() && text[start] == '-';
  const double number = parse_leading_number(text);
  for (const std::int64_t r : {k, m, g}) {
    if (r < 0 && !negative) fail("negative result without a minus sign", text, r, 0);
    if (r > 0 && negative) fail("positive result after a minus sign", text, r, 0);
    if ((r < 0 && !(number < 0)) || (r > 0 && !(number > 0)))
      fail("result and leading number differ in sign", text, r, 0);
  }
  check_factor(text, k, m);
  check_factor(text, m, g);

  const double factors[] = {1.0, 1024.0, 1024.0 * 1024.0};
  const std::int64_t results[] = {k, m, g};
  for (int u = 0; u < 3; ++u) {
    std::int64_t expected = 0;
    if (reference_value(text, factors[u], expected) && expected != results[u])
      fail("differs from the C library's reading", text, results[u], expected);
  }
  return 0;
}
