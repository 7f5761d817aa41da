// Integer powers, factorials and the Bernstein basis shared by the animation
// curves and the patch generator. Their single-precision roundings and 32-bit
// factorials are part of the contract: animated values and patch geometry
// follow from exactly these.
#pragma once

#include <cstdint>

// x to the power e by squaring, every product rounded to float; x^0 = 1.
float intPower(float x, std::uint32_t e);
// n! in 32-bit arithmetic; from 13! on it wraps as unsigned 32-bit
// multiplication does, and the bit pattern is returned as int32.
std::int32_t factorial(std::uint32_t n);
// The Bernstein polynomial of degree n and index i (i <= n) at t.
float bernsteinBasis(std::uint8_t n, std::uint8_t i, float t);
