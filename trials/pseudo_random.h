// The run's pseudo-random generator: a linear congruential generator seeded
// once per run from the calendar clock and drawn for test-file content.
#pragma once
#include <cstdint>

struct Generator {
  std::uint32_t state = 1;
};

// A draw advances the state as state * 214013 + 2531011 (mod 2^32); its value
// is bits 16 to 30 of the new state, from 0 to 32767.
constexpr std::uint32_t kGeneratorMultiplier = 214013u;
constexpr std::uint32_t kGeneratorIncrement = 2531011u;

// The state after one draw from `state`.
constexpr std::uint32_t next_state(std::uint32_t state) {
  return state * kGeneratorMultiplier + kGeneratorIncrement;
}

// The low 8 bits of the value a draw gives, from the state it left.
constexpr unsigned char drawn_byte(std::uint32_t state) {
  return static_cast<unsigned char>((state >> 16) & 0xffu);
}
