// Volume figures, clocks and the operating-system version as this platform
// reports them.
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/clock.h"
#include "platform/os_version.h"
#include "platform/volume.h"
#include "tests/platform/scratch.h"

namespace {

using scratch::ScratchTest;

class Volume : public ScratchTest {};

TEST_F(Volume, FiguresAgreeWithStatvfs) {
  for (const std::string& drive : {std::string("C:"), dir_, std::string("/")}) {
    VolumeFigures figures;
    ASSERT_TRUE(query_volume(drive, figures)) << drive;
    struct statvfs status;
    ASSERT_EQ(::statvfs(drive == "C:" ? "." : drive.c_str(), &status), 0);
    const std::uint64_t unit = status.f_frsize;
    EXPECT_EQ(figures.total_bytes, status.f_blocks * unit) << drive;
    // Free space moves while other programs work: allow a little drift.
    const double drift = static_cast<double>(figures.free_bytes) -
                         static_cast<double>(status.f_bavail * unit);
    EXPECT_LE(drift < 0 ? -drift : drift, 0.01 * static_cast<double>(status.f_blocks * unit))
        << drive;
    EXPECT_LE(figures.free_bytes, figures.total_bytes) << drive;
  }
}

TEST_F(Volume, MissingPathFails) {
  VolumeFigures figures;
  EXPECT_FALSE(query_volume("C:\\no_such_directory", figures));
  EXPECT_FALSE(query_volume(dir_ + "\\no\\such", figures));
}

TEST(Clocks, MillisecondClockAdvancesWithASleep) {
  const std::uint32_t before = milliseconds_now();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::uint32_t after = milliseconds_now();
  const std::uint32_t elapsed = after - before;  // modulo 2^32, like the trials
  EXPECT_GE(elapsed, 40u);
  EXPECT_LE(elapsed, 1000u);
}

TEST(Clocks, MillisecondClockIsTheMonotonicClockModulo32Bits) {
  struct timespec now;
  ASSERT_EQ(::clock_gettime(CLOCK_MONOTONIC, &now), 0);
  const auto expected = static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                                   static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
  const std::uint32_t reading = milliseconds_now();
  EXPECT_LE(static_cast<std::uint32_t>(reading - expected), 100u);
}

TEST(Clocks, CalendarClockIsUnixTime) {
  const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
  const std::int64_t reading = calendar_seconds_now();
  const std::int64_t after = static_cast<std::int64_t>(std::time(nullptr));
  EXPECT_GE(reading, before);
  EXPECT_LE(reading, after);
}

TEST(OsVersion, NamesNoWindowsRelease) {
  OsVersion version{5, 1};
  ASSERT_TRUE(query_os_version(version));
  EXPECT_EQ(version.major, 0u);
  EXPECT_EQ(version.minor, 0u);
  EXPECT_FALSE(query_64bit_system());
}

}  // namespace
