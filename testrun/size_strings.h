// Size strings such as 4K, 64M or 1.5G, turned into counts of KiB.
#pragma once
#include <cstdint>
#include <string>

// The KiB count of a size string: the leading decimal number (optional blanks,
// sign, digits with a full stop, exponent introduced by e, E, d or D) times
// the unit named by the last character alone (K, M or G in either case),
// truncated toward zero. 0 when the last character names no unit, when the
// value is below 1 KiB in magnitude, and when it does not fit 64 bits.
std::int64_t parse_size_kib(const std::string& text);

// The leading decimal number of `text` by the rules above, independent of the
// locale; 0.0 when the text does not begin with a number.
double parse_leading_number(const std::string& text);

// Why a size string gives no size the trials can use (parse_size_kib below
// 1), for a note on standard error: "has no unit letter ...", "is negative",
// "is below 1 KiB", and so on. Empty when the string gives a usable size.
std::string size_refusal(const std::string& text);
