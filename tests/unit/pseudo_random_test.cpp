#include <gtest/gtest.h>

#include "trials/pseudo_random.h"

namespace {

TEST(PseudoRandom, FirstDrawsFromSeedOneMatchTheClassicSequence) {
  Generator g;
  g.state = 1;
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
  for (int value : expected) EXPECT_EQ(next_random(g), value);
}

TEST(PseudoRandom, SeedZeroAndStateAdvance) {
  Generator g;
  g.state = 0;
  EXPECT_EQ(next_random(g), 38);  // state 2531011 = 0x00269EC3
  EXPECT_EQ(g.state, 2531011u);
  g.state = 0xFFFFFFFFu;  // the multiplication wraps modulo 2^32
  next_random(g);
  EXPECT_EQ(g.state, static_cast<std::uint32_t>(0xFFFFFFFFull * 214013u + 2531011u));
}

TEST(PseudoRandom, DrawsStayWithinFifteenBits) {
  Generator g;
  g.state = 0xDEADBEEF;
  for (int i = 0; i < 100000; ++i) {
    const int v = next_random(g);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
  }
}

}  // namespace
