// The run's pseudo-random generator: a linear congruential generator seeded
// once per run from the calendar clock and drawn for test-file content.
#pragma once
#include <cstdint>

struct Generator {
  std::uint32_t state = 1;
};

// Advances the state as state * 214013 + 2531011 (mod 2^32) and returns bits
// 16 to 30 of the new state, a value from 0 to 32767.
int next_random(Generator& generator);
