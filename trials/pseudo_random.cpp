#include "trials/pseudo_random.h"

int next_random(Generator& generator) {
  generator.state = generator.state * 214013u + 2531011u;
  return static_cast<int>((generator.state >> 16) & 0x7fffu);
}
