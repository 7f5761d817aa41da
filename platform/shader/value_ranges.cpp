// The routine's operations over ranges (see value_ranges.hpp), each
// following its lane form in program_kernel_body.inl: the same sources,
// the same NaN rules of its selects, the same saturation.
#include "shader/value_ranges.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace shader {
namespace {

using kernel::Instruction;
using kernel::Modifier;
using kernel::Operation;
using kernel::Source;

using rounding::Limit;

double magnitude(const ValueRange& r)
{
    return std::max(std::fabs(r.low), std::fabs(r.high));
}

// The exact result's range [low, high], widened by what `roundings`
// roundings of terms of total magnitude `size` may add.
ValueRange rounded(double low, double high, double size, int roundings, bool nan)
{
    if (!(size <= Limit && low >= -Limit && high <= Limit)) {
        return ValueRange::anything();
    }
    const double slack = roundingError(size, roundings);
    return {low - slack, high + slack, nan};
}

ValueRange unite(const ValueRange& a, const ValueRange& b)
{
    return {std::min(a.low, b.low), std::max(a.high, b.high), a.nan || b.nan};
}

ValueRange negated(const ValueRange& r)
{
    return {-r.high, -r.low, r.nan};
}

ValueRange absolute(const ValueRange& r)
{
    if (r.low >= 0.0) {
        return r;
    }
    if (r.high <= 0.0) {
        return negated(r);
    }
    return {0.0, std::max(-r.low, r.high), r.nan};
}

// The exact products' range (no rounding).
ValueRange product(const ValueRange& a, const ValueRange& b)
{
    const double p[4] = {a.low * b.low, a.low * b.high, a.high * b.low, a.high * b.high};
    return {*std::min_element(p, p + 4), *std::max_element(p, p + 4), a.nan || b.nan};
}

ValueRange saturated(const ValueRange& r)
{
    const double low = r.nan ? 0.0 : std::clamp(r.low, 0.0, 1.0);
    return {low, std::clamp(r.high, 0.0, 1.0), false};
}

ValueRange read(const ValueRange* ranges, const float* constants, std::uint32_t constantBase, const Source& s,
                int component)
{
    const std::uint32_t offset = s.component[component];
    const ValueRange v = s.batchStep == 0 ? ValueRange::exactly(constants[offset - constantBase])
                                          : ranges[offset / static_cast<std::uint32_t>(BatchLanes)];
    switch (s.modifier) {
    case Modifier::Negate: return negated(v);
    case Modifier::Abs: return absolute(v);
    case Modifier::AbsNegate: return negated(absolute(v));
    default: return v;
    }
}

ValueRange dot(const ValueRange* a, const ValueRange* b, int columns)
{
    double low = 0.0, high = 0.0, size = 0.0;
    bool nan = false;
    for (int i = 0; i < columns; ++i) {
        const ValueRange p = product(a[i], b[i]);
        low += p.low;
        high += p.high;
        size += magnitude(a[i]) * magnitude(b[i]);
        nan = nan || p.nan;
    }
    return rounded(low, high, size, 2 * columns, nan);
}

// select(a < b, a, b) and select(a >= b, a, b): a NaN in a gives b, one in
// b gives b.
ValueRange minimum(const ValueRange& a, const ValueRange& b)
{
    const ValueRange both = {std::min(a.low, b.low), std::min(a.high, b.high), b.nan};
    return a.nan ? unite(both, b) : both;
}

ValueRange maximum(const ValueRange& a, const ValueRange& b)
{
    const ValueRange both = {std::max(a.low, b.low), std::max(a.high, b.high), b.nan};
    return a.nan ? unite(both, b) : both;
}

// select(condition, 1, 0) where the condition holds for every pair, for
// none, or for some.
ValueRange oneOrZero(bool always, bool never)
{
    return always ? ValueRange::exactly(1.0f) : never ? ValueRange::exactly(0.0f) : ValueRange::between(0.0, 1.0);
}

ValueRange componentwise(Operation op, const ValueRange& a, const ValueRange& b, const ValueRange& c)
{
    const bool nan = a.nan || b.nan;
    switch (op) {
    case Operation::Mov: return a;
    case Operation::Add: return rounded(a.low + b.low, a.high + b.high, magnitude(a) + magnitude(b), 1, nan);
    case Operation::Sub: return rounded(a.low - b.high, a.high - b.low, magnitude(a) + magnitude(b), 1, nan);
    case Operation::Mul: {
        const ValueRange p = product(a, b);
        return rounded(p.low, p.high, magnitude(a) * magnitude(b), 1, nan);
    }
    case Operation::Mad: {
        const ValueRange p = product(a, b);
        return rounded(p.low + c.low, p.high + c.high, magnitude(a) * magnitude(b) + magnitude(c), 2, nan || c.nan);
    }
    case Operation::Min: return minimum(a, b);
    case Operation::Max: return maximum(a, b);
    case Operation::Slt: {
        const bool decided = a.bounded() && b.bounded();
        return oneOrZero(decided && a.high < b.low, decided && a.low >= b.high);
    }
    case Operation::Sge: {
        const bool decided = a.bounded() && b.bounded();
        return oneOrZero(decided && a.low >= b.high, decided && a.high < b.low);
    }
    case Operation::Lrp: { // a (b - c) + c, each step rounded
        const ValueRange difference = {b.low - c.high, b.high - c.low, false};
        const ValueRange p = product(a, difference);
        return rounded(p.low + c.low, p.high + c.high, magnitude(a) * (magnitude(b) + magnitude(c)) + magnitude(c),
                       3, nan || c.nan);
    }
    case Operation::Frc: return {0.0, 1.0, a.nan || !a.finite()}; // x - floor(x) may round up to 1
    case Operation::Abs: return absolute(a);
    default: return ValueRange::anything();
    }
}

// pow(|base|, exponent) for one positive exponent: increasing in the base.
// The library's powf is trusted within 16 units of the last place.
ValueRange power(const ValueRange& base, const ValueRange& exponent)
{
    if (!exponent.bounded() || exponent.low != exponent.high || !(exponent.low > 0.0) || !base.finite()) {
        return ValueRange::anything();
    }
    const ValueRange b = absolute(base);
    const double high = std::pow(b.high, exponent.low);
    return rounded(std::pow(b.low, exponent.low), high, high, 16, b.nan);
}

// The operations of the sources' w.
ValueRange ofW(Operation op, const ValueRange& w, const ValueRange& exponent)
{
    switch (op) {
    case Operation::Rcp:
        if (w.bounded() && (w.low > 0.0 || w.high < 0.0)) {
            return rounded(1.0 / w.high, 1.0 / w.low, std::max(1.0 / std::fabs(w.low), 1.0 / std::fabs(w.high)), 1,
                           false);
        }
        return ValueRange::anything();
    case Operation::Rsq: {
        const ValueRange a = absolute(w);
        if (a.bounded() && a.low > 0.0) {
            return rounded(1.0 / std::sqrt(a.high), 1.0 / std::sqrt(a.low), 1.0 / std::sqrt(a.low), 2, false);
        }
        return ValueRange::anything();
    }
    case Operation::Pow: return power(w, exponent);
    default: return ValueRange::anything(); // exp and log: not needed yet
    }
}

// nrm: each component times 1 / sqrt(x^2 + y^2 + z^2). Where the vector
// may be 0 (or tiny) the scale may be infinite: anything.
void normalize(const ValueRange* a, ValueRange* r)
{
    const ValueRange squares = dot(a, a, 3);
    if (!squares.bounded() || !(squares.low > 0x1p-100)) {
        std::fill(r, r + 4, ValueRange::anything());
        return;
    }
    const ValueRange scale = rounded(1.0 / std::sqrt(squares.high), 1.0 / std::sqrt(squares.low),
                                     1.0 / std::sqrt(squares.low), 2, false);
    const double unitBound = 1.0 + roundingError(1.0, 8); // |x| / |(x, y, z)| <= 1, and the scale's roundings
    for (int i = 0; i < 4; ++i) {
        const ValueRange p = product(a[i], scale);
        r[i] = rounded(p.low, p.high, magnitude(a[i]) * magnitude(scale), 1, a[i].nan);
        if (i < 3) {
            r[i].low = std::max(r[i].low, -unitBound);
            r[i].high = std::min(r[i].high, unitBound);
        }
    }
}

struct RangeFile {
    ValueRange* ranges;
    const float* constants;
    std::uint32_t constantBase;

    ValueRange operator()(const Source& s, int component) const
    {
        return read(ranges, constants, constantBase, s, component);
    }
};

// One instruction's result, all four components (those it does not write
// hold anything).
void compute(const Instruction& in, const RangeFile& file, ValueRange r[4])
{
    const Operation op = in.operation;
    ValueRange a[4], s1[4], s2[4];
    for (int i = 0; i < 4; ++i) {
        a[i] = file(in.source[0], i);
        s1[i] = kernel::sourceCount(op) > 1 ? file(in.source[1], i) : ValueRange::anything();
        s2[i] = kernel::sourceCount(op) > 2 ? file(in.source[2], i) : ValueRange::anything();
    }
    if (op < Operation::Rcp) {
        for (int i = 0; i < 4; ++i) {
            r[i] = componentwise(op, a[i], s1[i], s2[i]);
        }
        return;
    }
    if (kernel::replicatesW(op)) {
        std::fill(r, r + 4, ofW(op, a[3], s1[3]));
        return;
    }
    switch (op) {
    case Operation::Dot: std::fill(r, r + 4, dot(a, s1, in.columns)); break;
    case Operation::Matrix:
        for (int row = 0; row < 4; ++row) {
            ValueRange m[4];
            for (int i = 0; i < 4; ++i) {
                m[i] = row < in.rows ? file(in.row[row], i) : ValueRange::anything();
            }
            r[row] = row < in.rows ? dot(a, m, in.columns) : ValueRange::exactly(0.0f);
        }
        break;
    case Operation::Cross:
        for (int i = 0; i < 3; ++i) {
            const int j = (i + 1) % 3, k = (i + 2) % 3;
            const ValueRange p = product(a[j], s1[k]), q = product(a[k], s1[j]);
            r[i] = rounded(p.low - q.high, p.high - q.low,
                           magnitude(a[j]) * magnitude(s1[k]) + magnitude(a[k]) * magnitude(s1[j]), 3, p.nan || q.nan);
        }
        r[3] = r[2];
        break;
    case Operation::Normalize: normalize(a, r); break;
    case Operation::Sample: std::fill(r, r + 4, ValueRange::between(0.0, 1.0)); break;
    default: std::fill(r, r + 4, ValueRange::anything()); break;
    }
}

} // namespace

void runOnRanges(const kernel::Instruction* code, std::size_t count, ValueRange* ranges, const float* constants,
                 std::uint32_t constantBase)
{
    const RangeFile file{ranges, constants, constantBase};
    for (std::size_t k = 0; k < count; ++k) {
        const Instruction& in = code[k];
        ValueRange r[4];
        compute(in, file, r);
        for (int i = 0; i < 4; ++i) {
            if ((in.mask & (1 << i)) != 0) {
                ranges[(in.destination + static_cast<std::uint32_t>(i * BatchLanes)) / BatchLanes] =
                    in.saturate ? saturated(r[i]) : r[i];
            }
        }
    }
}

} // namespace shader
