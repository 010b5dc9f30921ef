#include <gtest/gtest.h>

#include "trials/pseudo_random.h"

namespace {

TEST(PseudoRandom, DrawsFromSeedOneFollowTheClassicSequence) {
  std::uint32_t state = 1;
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
  for (int value : expected) {
    state = next_state(state);
    EXPECT_EQ(static_cast<int>((state >> 16) & 0x7fffu), value);
    EXPECT_EQ(drawn_byte(state), value & 0xff);
  }
}

TEST(PseudoRandom, TheStepWrapsModulo2To32) {
  EXPECT_EQ(next_state(0), 2531011u);
  EXPECT_EQ(next_state(0xFFFFFFFFu), 2531011u - 214013u);
}

TEST(PseudoRandom, AJumpOverDrawsLandsWhereDrawingOneByOneDoes) {
  for (const std::uint32_t seed : {0u, 1u, 4242u, 0xFFFFFFFFu}) {
    std::uint32_t state = seed;
    for (std::uint64_t draws = 0; draws <= 1100; ++draws) {
      ASSERT_EQ(state_after_draws(seed, draws), state) << seed << " after " << draws;
      state = next_state(state);
    }
  }
  // The period is 2^32: a jump over all of it comes back.
  EXPECT_EQ(state_after_draws(77, std::uint64_t{1} << 32), 77u);
}

}  // namespace
