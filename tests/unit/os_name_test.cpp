#include <gtest/gtest.h>

#include "driver/os_name.h"
#include "fake/fake_platform.h"

namespace {

struct VersionCase {
  std::uint32_t major, minor;
  const char* name;
};

TEST(OsName, NamesEveryVersionOfTheTable) {
  const VersionCase cases[] = {
      {4, 0, "Windows 95"},   {4, 10, "Windows 98"},         {4, 90, "Windows ME"},
      {4, 3, "Unknown"},      {5, 0, "Windows 2000"},        {5, 1, "Windows XP (32bit)"},
      {5, 2, "Windows XP (64bit)"}, {5, 3, "Unknown"},       {6, 1, "Unknown"},
      {6, 2, "Unknown"},      {7, 0, "Unknown"},             {10, 0, "Unknown"},
      {3, 51, "Unknown"},     {0, 0, "Unknown"},
  };
  for (const VersionCase& c : cases) {
    fake::reset();
    fake::state().os_version = OsVersion{c.major, c.minor};
    EXPECT_EQ(os_name(), c.name) << c.major << "." << c.minor;
    EXPECT_EQ(fake::state().queries_64bit, 0) << "64-bit query made for " << c.major << "." << c.minor;
  }
}

TEST(OsName, VistaAsksWhetherTheSystemIs64Bit) {
  fake::reset();
  fake::state().os_version = OsVersion{6, 0};
  fake::state().system_is_64bit = true;
  EXPECT_EQ(os_name(), "Windows Vista (64bit)");
  fake::state().system_is_64bit = false;
  EXPECT_EQ(os_name(), "Windows Vista (32bit)");
  EXPECT_EQ(fake::state().queries_64bit, 2);
}

TEST(OsName, XP64IsNamedWithoutAsking) {
  fake::reset();
  fake::state().os_version = OsVersion{5, 2};
  fake::state().system_is_64bit = false;
  EXPECT_EQ(os_name(), "Windows XP (64bit)");
  EXPECT_EQ(fake::state().queries_64bit, 0);
}

TEST(OsName, UnreadableVersionGivesEmptyName) {
  fake::reset();
  fake::state().os_readable = false;
  EXPECT_EQ(os_name(), "");
}

}  // namespace
