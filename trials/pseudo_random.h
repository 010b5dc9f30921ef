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

// The state after `draws` draws from `state`, in as many steps as `draws`
// has bits: the step composed with itself is again a multiply and an add.
constexpr std::uint32_t state_after_draws(std::uint32_t state, std::uint64_t draws) {
  std::uint32_t multiplier = kGeneratorMultiplier, increment = kGeneratorIncrement;
  std::uint32_t total_multiplier = 1, total_increment = 0;
  for (; draws != 0; draws >>= 1) {
    if (draws & 1u) {
      total_multiplier *= multiplier;
      total_increment = total_increment * multiplier + increment;
    }
    increment = increment * multiplier + increment;
    multiplier *= multiplier;
  }
  return state * total_multiplier + total_increment;
}
