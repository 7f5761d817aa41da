// Bernstein weights: (1 - t)^(n - i) * t^i * n! / ((n - i)! * i!), evaluated
// in the fixed order below (see bernsteinBasis).
#include "anim/bernstein.hpp"

float intPower(float x, std::uint32_t e)
{
    float result = 1.0f;
    float base = x;
    for (;;) {
        if (e & 1u) {
            result = result * base;
        }
        e /= 2;
        if (e == 0) {
            return result;
        }
        base = base * base;
    }
}

std::int32_t factorial(std::uint32_t n)
{
    std::uint32_t product = 1;
    for (std::uint32_t k = 2; k <= n; ++k) {
        product *= k;
    }
    return static_cast<std::int32_t>(product);
}

float bernsteinBasis(std::uint8_t n, std::uint8_t i, float t)
{
    const float a = intPower(t, i);
    const double p = static_cast<double>(a) * factorial(n);
    const float u = 1.0f - t;
    const float q = intPower(u, static_cast<std::uint32_t>(n - i));
    const float r = static_cast<float>(static_cast<double>(q) * p);
    // The denominator is a 32-bit integer product; it wraps like the
    // factorials do for degrees above 12.
    const std::uint32_t denominator = static_cast<std::uint32_t>(factorial(n - i)) *
                                      static_cast<std::uint32_t>(factorial(i));
    return r / static_cast<float>(static_cast<std::int32_t>(denominator));
}
