#include <gtest/gtest.h>

#include <clocale>

#include "testrun/size_strings.h"

namespace {

struct SizeCase {
  const char* text;
  std::int64_t kib;
};

TEST(SizeStrings, UnitsNumbersAndTruncation) {
  const SizeCase cases[] = {
      {"4K", 4},       {"4k", 4},           {"64M", 65536},     {"64m", 65536},
      {"1G", 1048576}, {"1g", 1048576},     {"1.5M", 1536},     {"1.9K", 1},
      {"0.5K", 0},     {"0.001G", 1048},    {"1e3K", 1000},     {"1d3K", 1000},
      {"1D3K", 1000},  {"1E+3K", 1000},     {"4", 0},           {"4KB", 0},
      {"K", 0},        {"2xG", 2097152},    {"4KM", 4096},      {"-4K", -4},
      {"-1.9K", -1},   {"  8K", 8},         {"\t8K", 8},        {"+8K", 8},
      {".5M", 512},    {"5.M", 5120},       {"1e", 0},          {"1eK", 1},
      {"1e+K", 1},     {"2.5e-1M", 256},    {"0x10K", 0},       {"infK", 0},
      {"nanG", 0},     {"abcK", 0},         {"", 0},            {"1,5M", 1024},
  };
  for (const SizeCase& c : cases) EXPECT_EQ(parse_size_kib(c.text), c.kib) << '"' << c.text << '"';
}

TEST(SizeStrings, SizesBeyond64BitsConvertToZero) {
  EXPECT_EQ(parse_size_kib("1e30G"), 0);
  EXPECT_EQ(parse_size_kib("9223372036854775807K"), 0);  // rounds to 2^63 in double precision
  EXPECT_EQ(parse_size_kib("1e400K"), 0);
  EXPECT_EQ(parse_size_kib("-1e30G"), 0);
  EXPECT_EQ(parse_size_kib("8796093022207G"), 9223372036853727232LL) << "largest whole G below 2^63 KiB";
  EXPECT_EQ(parse_size_kib("4194304K"), 4194304);
}

TEST(SizeStrings, DecimalPointIsAFullStopWhateverTheLocale) {
  const char* chosen = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  if (chosen == nullptr) chosen = std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
  EXPECT_EQ(parse_size_kib("1.5M"), 1536) << (chosen ? chosen : "no comma locale installed");
  EXPECT_EQ(parse_size_kib("1,5M"), 1024);
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
