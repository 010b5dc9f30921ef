#include "trials/pseudo_random.h"

namespace {
std::uint32_t g_state = 1;
}

void seed_random(std::uint32_t seed) { g_state = seed; }

int next_random() {
  g_state = g_state * 214013u + 2531011u;
  return static_cast<int>((g_state >> 16) & 0x7fffu);
}

std::uint32_t random_state() { return g_state; }
