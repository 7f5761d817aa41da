#include "pipeline/position_bounds.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "pipeline/clip_planes.hpp"

namespace pipeline {
namespace {

constexpr double UnitRoundoff = 0x1p-24;
constexpr double Denormals = 0x1p-100;   // flushed to 0 by some hardware
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
typedef float Float4 __attribute__((vector_size(16)));
typedef int Int4 __attribute__((vector_size(16)));

// Float components read straight, the rest as the fetch's defaults: the
// common case. Two accumulators halve the chain of dependent steps; a NaN
// is noted apart (min and max skip it; an infinity shows in them).
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

template <int Floats, bool Whole>
void addFloats(const std::uint8_t* bytes, std::uint32_t stride, std::int64_t count, Float4& lowA, Float4& highA,
               Int4& nan)
{
    Float4 lowB = lowA, highB = highA;
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
    lowA = lowB < lowA ? lowB : lowA;
    highA = highB > highA ? highB : highA;
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

// A constant that is not finite makes the magnitude of every plane that
// reads it infinite or NaN, and then no comparison below holds: such
// constants need no test of their own.
std::uint32_t planeBeyondBox(const shader::AffinePosition& affine, std::uint32_t roundings, const float* constants,
                              const InputBox& box, const CullingMargin& margin)
{
    if (!affine.found) {
        return 0;
    }
    const double k = roundings;
    const double gamma = k * UnitRoundoff / (1.0 - k * UnitRoundoff);
    double rounding = gamma + TestRoundings;
    double pixel[2] = {0.0, 0.0};
    if (!margin.exact) {
        const double n = k + margin.hardwareRoundings;
        if (n * UnitRoundoff >= 0.25) {
            return 0; // no bound worth the name (the per-vertex test agrees)
        }
        rounding += 8.0 * n * UnitRoundoff * (1.0 + gamma);
        pixel[0] = (1.0 + gamma) * 2.0 / margin.viewportWidth;
        pixel[1] = (1.0 + gamma) * 2.0 / margin.viewportHeight;
    }
    double low[4], high[4], largest[4];
    for (int j = 0; j < 4; ++j) {
        low[j] = box.low[j];
        high[j] = box.high[j];
        largest[j] = std::max(std::fabs(low[j]), std::fabs(high[j]));
    }
    double row[4][4];     // row i: the constant register of position component i
    double magnitudes[4]; // max over the box of M_x, M_y, M_z, M_w
    for (int i = 0; i < 4; ++i) {
        const float* c = constants + 4 * affine.rows[static_cast<std::size_t>(i)];
        magnitudes[i] = 0.0;
        for (int j = 0; j < 4; ++j) {
            row[i][j] = c[j];
            magnitudes[i] += std::fabs(row[i][j]) * largest[j];
        }
    }
    for (std::int32_t plane = 0; plane < ClipPlaneCount; ++plane) {
        const PlaneAxis& e = Planes[plane];
        const double* a = row[e.axis];
        const double withW = plane == 0 ? 0.0 : 1.0;
        double least = 0.0; // min over the box of the distance beyond the plane
        for (int j = 0; j < 4; ++j) {
            const double coefficient = -e.sign * a[j] - withW * row[3][j];
            least += std::min(coefficient * low[j], coefficient * high[j]);
        }
        const double slack = e.side ? pixel[e.axis] * magnitudes[3] : 0.0;
        const double needed = rounding * (magnitudes[e.axis] + magnitudes[3]) + slack + Denormals;
        if (least > needed) {
            return 1u << plane; // one is enough
        }
    }
    return 0;
}

} // namespace pipeline
