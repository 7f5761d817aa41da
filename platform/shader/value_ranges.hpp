// A compiled routine run over sets of values instead of lanes: each
// register component holds a range that encloses every value the routine
// can leave there, whatever the lanes held within the ranges given for its
// inputs. The software back end asks it whether a pixel program gives one
// colour over a whole triangle, and then skips running it pixel by pixel.
//
// Soundness. A float operation's result lies within gamma(k) M of the
// exact operation on the same operands (k its roundings, M the sum of the
// magnitudes of its terms, gamma(k) = k u / (1 - k u), u = 2^-24), plus
// k 2^-140 where a result underflows. Each operation here takes the exact
// result's range over its operands' ranges and widens it by that much, plus
// 2^-50 M for the roundings of the double arithmetic that works it out. A
// range whose bounds pass 2^100 may hold an infinity, and what follows it
// holds anything; NaN is carried as a flag. Saturation clears everything
// to [0, 1], NaN to 0, as the routines do.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "shader/program_kernel.hpp"
#include "shader/rounding.hpp"

namespace shader {

// The limits of the ranges' own bounds.
namespace rounding {
constexpr double Limit = 0x1p100;           // beyond it a range may hold an infinity
constexpr double Underflow = 0x1p-140;      // a rounding's most absolute error below the normal floats
constexpr double DoubleRoundings = 0x1p-50; // the double arithmetic's own, relative to the magnitude
} // namespace rounding

// The values a float may take: those in [low, high] (bounds that may be
// infinite), and NaN when `nan` is set.
struct ValueRange {
    double low;
    double high;
    bool nan;

    static ValueRange exactly(float value)
    {
        return std::isnan(value) ? anything() : ValueRange{value, value, false};
    }
    static ValueRange between(double low, double high) { return {low, high, false}; }
    static ValueRange anything()
    {
        constexpr double Infinity = std::numeric_limits<double>::infinity();
        return {-Infinity, Infinity, true};
    }
    bool finite() const { return low >= -rounding::Limit && high <= rounding::Limit; }
    bool bounded() const { return !nan && finite(); }
};

// The most that `roundings` float roundings may move a result whose terms'
// magnitudes sum to `size` (infinite when size passes 2^100).
inline double roundingError(double size, int roundings)
{
    using namespace rounding;
    return size <= Limit ? size * (gamma(roundings) + DoubleRoundings) + roundings * Underflow
                         : std::numeric_limits<double>::infinity();
}

// Runs `count` instructions of a routine over ranges: ranges[o / BatchLanes]
// stands for the lane-register component at file offset o (o below
// `constantBase`); a constant at offset o >= constantBase reads
// constants[o - constantBase]. A sample gives [0, 1] in every component
// (a texel's channel over 255, or the 0, 0, 0, 1 of no texture).
void runOnRanges(const kernel::Instruction* code, std::size_t count, ValueRange* ranges, const float* constants,
                 std::uint32_t constantBase);

} // namespace shader
