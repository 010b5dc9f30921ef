#include "testrun/size_strings.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

double parse_leading_number(const std::string& text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && is_space(text[i])) ++i;

  // Collect the number in the C locale's form, so strtod sees a full stop and
  // an 'e' whatever the user's locale and whatever exponent letter was used.
  std::string number;
  if (i < n && (text[i] == '+' || text[i] == '-')) number += text[i++];
  std::size_t digits = 0;
  while (i < n && is_digit(text[i])) { number += text[i++]; ++digits; }
  if (i < n && text[i] == '.') {
    number += text[i++];
    while (i < n && is_digit(text[i])) { number += text[i++]; ++digits; }
  }
  if (digits == 0) return 0.0;

  // An exponent counts only when at least one digit follows its letter and sign.
  if (i < n && std::strchr("eEdD", text[i]) != nullptr && text[i] != '\0') {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < n && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
    if (j < n && is_digit(text[j])) {
      while (j < n && is_digit(text[j])) exponent += text[j++];
      number += exponent;
    }
  }
  // Only digits, one full stop, signs and 'e' remain, which every locale's
  // strtod reads alike except for the decimal point: swap in the locale's.
  const char locale_point = *std::localeconv()->decimal_point;
  if (locale_point != '.') {
    for (char& c : number)
      if (c == '.') c = locale_point;
  }
  return std::strtod(number.c_str(), nullptr);
}

std::int64_t parse_size_kib(const std::string& text) {
  if (text.empty()) return 0;
  double value = 0.0;
  switch (text.back()) {
    case 'k': case 'K': value = parse_leading_number(text); break;
    case 'm': case 'M': value = parse_leading_number(text) * 1024.0; break;
    case 'g': case 'G': value = parse_leading_number(text) * 1024.0 * 1024.0; break;
    default: return 0;
  }
  // 2^63 is exactly representable; anything at or beyond it does not fit.
  constexpr double kLimit = 9223372036854775808.0;
  if (!(value > -kLimit && value < kLimit)) return 0;
  return static_cast<std::int64_t>(value);  // truncation toward zero
}

std::string size_refusal(const std::string& text) {
  if (parse_size_kib(text) >= 1) return std::string();
  if (text.empty()) return "is empty";
  const char last = text.back();
  if (std::strchr("kKmMgG", last) == nullptr)
    return "has no unit: it must end in K, M or G (as 64M or 4K), not '" + std::string(1, last) +
           "'";
  const double number = parse_leading_number(text);
  if (number == 0.0) {
    std::size_t i = 0;
    while (i < text.size() && is_space(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i < text.size() && text[i] == '.') ++i;
    if (i >= text.size() || !is_digit(text[i]))
      return "has no number before its unit (as 64M or 4K)";
    return "is zero";
  }
  if (number < 0) return "is negative";
  const std::int64_t kib = parse_size_kib(std::string("1") + last);
  if (number * static_cast<double>(kib) < 1.0) return "is below 1 KiB, the smallest size (1K)";
  return "is too large: it does not fit 2^63 KiB";
}
