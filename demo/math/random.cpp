// nextRandom: a multiplicative congruential step with no reduction modulo a
// prime, read out through the bit pattern of a float in [2, 4).
#include "math/random.hpp"

#include <cstring>

std::uint32_t randomSeed = 1;

float nextRandom()
{
    randomSeed *= 16807u; // unsigned: wraps modulo 2^32
    const std::uint32_t bits = (randomSeed & 0x7FFFFFu) | 0x40000000u;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value - 3.0f; // exact: the result keeps 23 significant bits at most
}
