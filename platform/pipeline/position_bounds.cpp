#include "pipeline/position_bounds.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "pipeline/clip_planes.hpp"

namespace pipeline {
namespace {

constexpr double TestRoundings = 0x1p-40; // this test's own, in double precision

struct Extent {
    float low[4] = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    float high[4] = {-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX};
    bool finite = true;

    void add(const float value[4])
    {
        for (int i = 0; i < 4; ++i) {
            low[i] = value[i] < low[i] ? value[i] : low[i];
            high[i] = value[i] > high[i] ? value[i] : high[i];
            finite = finite && std::fabs(value[i]) <= FLT_MAX;
        }
    }
};

// Four floats as one value: min and max a vertex in one step each, on
// any target (the compiler lowers them to its vector unit or to scalars).
using Float4 = float __attribute__((vector_size(16)));
using Int4 = int __attribute__((vector_size(16)));

// A vertex's first four floats, of which the first `Floats` are the
// element's (the others are whatever follows it, or the fetch's defaults
// where `Whole` is false because nothing may be read past the element).
template <int Floats, bool Whole>
Float4 loadFloats(const std::uint8_t* bytes)
{
    Float4 value = {0.0f, 0.0f, 0.0f, 1.0f};
    std::memcpy(&value, bytes, Whole ? 16 : 4 * Floats);
    return value;
}

// Lanes the element does not have read as the fetch's defaults.
template <int Floats>
Float4 withDefaults(Float4 value)
{
    const Float4 defaults = {0.0f, 0.0f, 0.0f, 1.0f};
    for (int c = Floats; c < 4; ++c) {
        value[c] = defaults[c];
    }
    return value;
}

// (Locals, not the references: the loads could alias them, and writing
// them back every vertex would hold up the loop.)
template <int Floats, bool Whole>
void addFloats(const std::uint8_t* bytes, std::uint32_t stride, std::int64_t count, Float4& lowOut, Float4& highOut,
               Int4& nanOut)
{
    Float4 lowA = lowOut, highA = highOut, lowB = lowOut, highB = highOut;
    Int4 nan = nanOut;
    std::int64_t i = 0;
    for (; i + 1 < count; i += 2) {
        const Float4 a = loadFloats<Floats, Whole>(bytes + static_cast<std::size_t>(i) * stride);
        const Float4 b = loadFloats<Floats, Whole>(bytes + static_cast<std::size_t>(i + 1) * stride);
        lowA = a < lowA ? a : lowA;
        highA = a > highA ? a : highA;
        lowB = b < lowB ? b : lowB;
        highB = b > highB ? b : highB;
        nan |= (a != a) | (b != b);
    }
    if (i < count) {
        const Float4 a = loadFloats<Floats, Whole>(bytes + static_cast<std::size_t>(i) * stride);
        lowA = a < lowA ? a : lowA;
        highA = a > highA ? a : highA;
        nan |= a != a;
    }
    lowOut = lowB < lowA ? lowB : lowA;
    highOut = highB > highA ? highB : highA;
    nanOut = nan;
}

// Float components read straight, the rest as the fetch's defaults: the
// common case, a vertex at a time. Two accumulators halve the chain of
// dependent steps; a NaN is noted apart (min and max skip it; an infinity
// shows in them). Vertices with 16 bytes after the element's start in the
// stream are read whole, the lanes past the element ignored.
template <int Floats>
void addFloats(const std::uint8_t* bytes, std::uint32_t stride, std::int64_t count, std::int64_t wholeCount,
               Extent& extent)
{
    Float4 low = loadFloats<Floats, false>(bytes);
    Float4 high = low;
    Int4 nan = {0, 0, 0, 0};
    addFloats<Floats, true>(bytes, stride, wholeCount, low, high, nan);
    addFloats<Floats, false>(bytes + static_cast<std::size_t>(wholeCount) * stride, stride, count - wholeCount, low,
                             high, nan);
    low = withDefaults<Floats>(low);
    high = withDefaults<Floats>(high);
    const float lows[4] = {low[0], low[1], low[2], low[3]};
    const float highs[4] = {high[0], high[1], high[2], high[3]};
    extent.add(lows);
    extent.add(highs);
    int anyNan = 0;
    for (int c = 0; c < Floats; ++c) {
        anyNan |= nan[c];
    }
    extent.finite = extent.finite && anyNan == 0;
}

// `count` elements from `bytes` on, `stride` apart, all inside the stream,
// which has `available` bytes from `bytes` on.
void addInside(BYTE type, const std::uint8_t* bytes, std::size_t available, std::uint32_t stride, std::int64_t count,
               Extent& extent)
{
    std::int64_t whole = 0; // the vertices with 16 bytes to read
    if (available >= 16) {
        whole = stride == 0 ? count : std::min<std::int64_t>(count, static_cast<std::int64_t>((available - 16) / stride) + 1);
    }
    switch (type) {
    case D3DDECLTYPE_FLOAT1: addFloats<1>(bytes, stride, count, whole, extent); return;
    case D3DDECLTYPE_FLOAT2: addFloats<2>(bytes, stride, count, whole, extent); return;
    case D3DDECLTYPE_FLOAT3: addFloats<3>(bytes, stride, count, whole, extent); return;
    case D3DDECLTYPE_FLOAT4: addFloats<4>(bytes, stride, count, whole, extent); return;
    default: break;
    }
    for (std::int64_t i = 0; i < count; ++i) {
        float value[4];
        decodeElement(type, bytes + static_cast<std::size_t>(i) * stride, value);
        extent.add(value);
    }
}

std::int64_t byteOf(const VertexRun& run, const InputBinding& binding, std::int64_t vertex)
{
    return static_cast<std::int64_t>(run.stream.offset) + vertex * run.stream.stride + binding.offset;
}

bool inside(const VertexRun& run, const InputBinding& binding, std::int64_t vertex)
{
    const std::int64_t at = byteOf(run, binding, vertex);
    const std::size_t size = elementSize(binding.type);
    return vertex >= 0 && size != 0 && at >= 0 && static_cast<std::size_t>(at) + size <= run.stream.size;
}

} // namespace

bool measureInputBox(const VertexRun& run, const InputBinding& binding, InputBox& box)
{
    Extent extent;
    const float unfed[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    if (run.count <= 0) {
        return false;
    }
    const std::int64_t last = run.first + run.count - 1;
    if (binding.type == D3DDECLTYPE_UNUSED) {
        extent.add(unfed);
    } else if (inside(run, binding, run.first) && inside(run, binding, last)) {
        // Vertices ascend through the stream: when the first and the last
        // lie inside it, all do.
        const auto at = static_cast<std::size_t>(byteOf(run, binding, run.first));
        addInside(binding.type, run.stream.bytes + at, run.stream.size - at, run.stream.stride, run.count, extent);
    } else {
        for (std::int64_t vertex = run.first; vertex <= last; ++vertex) {
            if (inside(run, binding, vertex)) {
                const auto at = static_cast<std::size_t>(byteOf(run, binding, vertex));
                addInside(binding.type, run.stream.bytes + at, run.stream.size - at, 0, 1, extent);
            } else {
                extent.add(unfed);
            }
        }
    }
    std::copy_n(extent.low, 4, box.low);
    std::copy_n(extent.high, 4, box.high);
    return extent.finite;
}

// Runs are placed by their first vertex, so that a program's draws, which
// mostly walk up through a buffer, walk up through the table too.
std::size_t InputBounds::slotOf(const VertexRun& run) const
{
    return static_cast<std::size_t>(static_cast<std::uint64_t>(run.first) >> 3) % stamps_.size();
}

bool InputBounds::boxOf(const VertexRun& run, const InputBinding& binding, InputBox& box)
{
    if (run.content == 0) {
        return measureInputBox(run, binding, box);
    }
    const std::size_t slot = slotOf(run);
    Entry& entry = entries_[slot];
    // The stamps alone are read first: most runs of a buffer rewritten
    // every frame find none, and read no more.
    const bool kept = stamps_[slot] == run.content && entry.first == run.first && entry.count == run.count &&
                      entry.offset == run.stream.offset && entry.stride == run.stream.stride &&
                      entry.elementOffset == binding.offset && entry.type == binding.type;
    if (!kept) {
        entry.finite = measureInputBox(run, binding, entry.box);
        stamps_[slot] = run.content;
        entry.first = run.first;
        entry.count = run.count;
        entry.offset = run.stream.offset;
        entry.stride = run.stream.stride;
        entry.elementOffset = binding.offset;
        entry.type = binding.type;
    }
    box = entry.box;
    return entry.finite;
}

namespace {

// Everything the margin is made of but the magnitudes: the factor of
// M_a + M_w, and a pixel of the viewport in x and y (times max M_w).
struct BoxMargin {
    double rounding = 0.0;
    double pixel[2] = {0.0, 0.0};
};

bool boxMargin(std::uint32_t roundings, const CullingMargin& margin, BoxMargin& out)
{
    const double k = roundings;
    const double gamma = shader::rounding::gamma(k);
    out.rounding = gamma + TestRoundings;
    if (margin.exact) {
        return true;
    }
    double hardware = 0.0;
    if (!hardwareRoundingFactor(k + margin.hardwareRoundings, hardware)) {
        return false; // the per-vertex test stops nothing either
    }
    out.rounding += hardware * (1.0 + gamma);
    out.pixel[0] = (1.0 + gamma) * 2.0 / margin.viewportWidth;
    out.pixel[1] = (1.0 + gamma) * 2.0 / margin.viewportHeight;
    return true;
}

// max over the box of sum |c_j| |v_j|: the magnitude of a row's terms.
double largestMagnitude(const float* row, const double largest[4])
{
    double sum = 0.0;
    for (int j = 0; j < 4; ++j) {
        sum += std::fabs(static_cast<double>(row[j])) * largest[j];
    }
    return sum;
}

} // namespace

// The least distance comes first, plane by plane: most planes of most
// draws have some point of the box inside them (least <= 0), and need no
// margin. A constant that is not finite makes the magnitude of every plane
// that reads it infinite or NaN, and then no comparison holds: such
// constants need no test of their own.
std::uint32_t planeBeyondBox(const shader::AffinePosition& affine, std::uint32_t roundings, const float* constants,
                             const InputBox& box, const CullingMargin& margin)
{
    if (!affine.found) {
        return 0;
    }
    double low[4], high[4];
    for (int j = 0; j < 4; ++j) {
        low[j] = box.low[j];
        high[j] = box.high[j];
    }
    const float* row[4]; // row i: the constant register of position component i
    for (int i = 0; i < 4; ++i) {
        row[i] = constants + 4 * affine.rows[static_cast<std::size_t>(i)];
    }
    const float* w = row[3];
    for (std::int32_t plane = 0; plane < ClipPlaneCount; ++plane) {
        const PlaneAxis& e = Planes[plane];
        const float* a = row[e.axis];
        const double withW = plane == 0 ? 0.0 : 1.0;
        double least = 0.0; // min over the box of the distance beyond the plane
        for (int j = 0; j < 4; ++j) {
            const double coefficient = -e.sign * static_cast<double>(a[j]) - withW * w[j];
            least += std::min(coefficient * low[j], coefficient * high[j]);
        }
        if (!(least > 0.0)) {
            continue;
        }
        BoxMargin factors;
        if (!boxMargin(roundings, margin, factors)) {
            return 0;
        }
        double largest[4]; // max |v_j| over the box
        for (int j = 0; j < 4; ++j) {
            largest[j] = std::max(std::fabs(low[j]), std::fabs(high[j]));
        }
        const double magnitudeW = largestMagnitude(w, largest);
        const double slack = e.side ? factors.pixel[e.axis] * magnitudeW : 0.0;
        const double needed =
            factors.rounding * (largestMagnitude(a, largest) + magnitudeW) + slack + FlushedDenormals;
        if (least > needed) {
            return 1u << plane; // one is enough
        }
    }
    return 0;
}

} // namespace pipeline
