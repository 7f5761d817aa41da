// The bound on single-precision rounding that every proof about computed
// values here starts from: a float operation's result is the exact one
// times (1 + d), |d| <= u, and n of them in a row move it by at most
// gamma(n) of its size.
#pragma once

namespace shader::rounding {

constexpr double Unit = 0x1p-24; // u: single precision's unit roundoff

// gamma(n) = n u / (1 - n u), for n u < 1.
constexpr double gamma(double roundings)
{
    return roundings * Unit / (1.0 - roundings * Unit);
}

} // namespace shader::rounding
