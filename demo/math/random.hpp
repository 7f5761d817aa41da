// The process-wide pseudo-random sequence of the texture generators. It
// always starts from the same state, so every run makes the same textures;
// the number of draws made by earlier operations decides later results.
#pragma once

#include <cstdint>

// Starts at 1 and is never reseeded; only nextRandom reads or writes it.
extern std::uint32_t randomSeed;

// Advances the seed (seed * 16807 mod 2^32) and returns a float in [-1, 1)
// in steps of 2^-22, made from the new seed's low 23 bits.
float nextRandom();
