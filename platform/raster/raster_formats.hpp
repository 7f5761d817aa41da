// The number formats and sample positions the rasterizer stages share:
// 28.4 fixed point (SubpixelScale units a pixel) with floor division for
// converting it to whole pixels, D16 depth quantisation, and the sample
// pattern of a render target. Sample offsets are in 28.4 units from the
// pixel's sample point (i, j), y down.
#pragma once

#include <cstdint>
#include <cstring>

namespace raster {

constexpr std::int32_t SubpixelScale = 16;     // 28.4: units a pixel
constexpr std::int32_t MaxSampleOffset = 6;    // largest |offset| of any pattern, in 28.4 units
constexpr std::int32_t MaxSamples = 4;

// Rounds n / d toward minus infinity; d > 0.
constexpr std::int64_t floorDivide(std::int64_t n, std::int64_t d)
{
    std::int64_t q = n / d;
    if (n % d != 0 && n < 0)
        --q;
    return q;
}

// D16 = round(depth * 65535), depth clamped to [0, 1]. The clamp works on
// the float's bits (for floats of one sign their order as integers is
// their order as numbers), which vectorises to a few integer operations;
// a NaN, which only a degenerate plane gives, becomes 0 or 1 by its sign.
// An int32, the width the scan's lanes compare in.
inline std::int32_t quantiseDepth(float depth)
{
    constexpr std::int32_t OneBits = 0x3F800000; // 1.0f
    std::int32_t bits;
    std::memcpy(&bits, &depth, sizeof bits);
    bits = bits > 0 ? bits : 0;
    bits = bits < OneBits ? bits : OneBits;
    float clamped;
    std::memcpy(&clamped, &bits, sizeof clamped);
    return static_cast<std::int32_t>(clamped * 65535.0f + 0.5f);
}

struct SamplePattern {
    std::int32_t count;
    std::int32_t dx[MaxSamples]; // 28.4 offsets
    std::int32_t dy[MaxSamples];
};

// The pattern of a target with this many samples: 1 (the sample point
// itself), 2, or 4; any other count is treated as 1.
inline const SamplePattern& samplePattern(std::int32_t samples)
{
    static constexpr SamplePattern single{1, {0, 0, 0, 0}, {0, 0, 0, 0}};
    static constexpr SamplePattern two{2, {4, -4, 0, 0}, {4, -4, 0, 0}};
    static constexpr SamplePattern four{4, {-2, 6, -6, 2}, {-6, -2, 2, 6}};
    if (samples == 4)
        return four;
    if (samples == 2)
        return two;
    return single;
}

} // namespace raster
