// Batched pixel shading (see pixel_batch.hpp). Varyings: v = (a x + b y + c)
// of the varying/w plane divided by that of the 1/w plane, both evaluated
// at the pixel's sample point in plain float loops over the lanes, so that
// they vectorise and give the same bits for a pixel whatever batch it is in.
#include "raster/pixel_batch.hpp"
#include "raster/wide_clones.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace raster {

PixelShading::PixelShading(RenderTarget& renderTarget, const RasterState& drawState)
    : target(renderTarget), state(drawState), varyingCount(std::clamp(drawState.varyingCount, 0, MaxVaryings))
{
    batch.count = 0;
    std::fill(std::begin(batch.x), std::end(batch.x), 0);
    std::fill(std::begin(batch.y), std::end(batch.y), 0);
}

RASTER_WIDE_CLONES void PixelShading::interpolateVaryings()
{
    // All lanes, so that the loops have a fixed length; those past count
    // hold earlier pixels and are not read.
    constexpr std::int32_t count = BatchLanes;
    float px[BatchLanes], py[BatchLanes], w[BatchLanes];
    const float wa = triangle->inverseWPlane[0], wb = triangle->inverseWPlane[1], wc = triangle->inverseWPlane[2];
    for (std::int32_t lane = 0; lane < count; ++lane) {
        px[lane] = static_cast<float>(batch.x[lane]);
        py[lane] = static_cast<float>(batch.y[lane]);
        w[lane] = 1.0f / (wa * px[lane] + wb * py[lane] + wc);
    }
    for (std::int32_t v = 0; v < varyingCount; ++v) {
        for (std::int32_t c = 0; c < 4; ++c) {
            if ((state.varyingComponents[v] & (1u << c)) == 0)
                continue;
            // Copies of the plane, so that the loop need not fear it aliases out.
            const float a = triangle->varyingPlanes[v][c][0];
            const float b = triangle->varyingPlanes[v][c][1];
            const float k = triangle->varyingPlanes[v][c][2];
            float* out = batch.varyings[v][c];
            for (std::int32_t lane = 0; lane < count; ++lane)
                out[lane] = (a * px[lane] + b * py[lane] + k) * w[lane];
        }
    }
}

// The interpolation above computes n = (a x + b y) + c and d likewise from
// the 1/w plane, three roundings each, then n * (1 / d), two more. Exactly,
// n / d over the box (where d > 0 at its corners, so on all of it) is a
// ratio of affine functions: monotonic along any line, so its extremes lie
// at the box's corners. The computed n and d lie within eN and eD of the
// exact ones, so their ratio within (eN + |n / d| eD) / (d - eD) of n / d.
shader::ValueRange interpolatedRange(const ScreenTriangle& tri, std::int32_t varying, std::int32_t component)
{
    const float* inverseW = tri.inverseWPlane;
    const float* plane = tri.varyingPlanes[varying][component];
    const double xs[2] = {static_cast<double>(tri.minX), static_cast<double>(tri.maxX)};
    const double ys[2] = {static_cast<double>(tri.minY), static_cast<double>(tri.maxY)};
    double leastD = HUGE_VAL, least = HUGE_VAL, most = -HUGE_VAL;
    for (const double x : xs) {
        for (const double y : ys) {
            const double d = inverseW[0] * x + inverseW[1] * y + inverseW[2];
            const double n = plane[0] * x + plane[1] * y + plane[2];
            leastD = std::min(leastD, d);
            least = std::min(least, n / d);
            most = std::max(most, n / d);
        }
    }
    const double x = std::max(std::fabs(xs[0]), std::fabs(xs[1])), y = std::max(std::fabs(ys[0]), std::fabs(ys[1]));
    const auto planeError = [x, y](const float* p) { // of its three roundings at any pixel of the box
        return shader::roundingError(std::fabs(p[0]) * x + std::fabs(p[1]) * y + std::fabs(p[2]), 3);
    };
    const double errorN = planeError(plane), errorD = planeError(inverseW);
    const double ratio = std::max(std::fabs(least), std::fabs(most));
    // d - eD well above 0 keeps 1 / d finite; a plane whose terms pass
    // 2^100 may overflow to infinity (its error is infinite then), and NaN
    // fails every comparison: then any value, NaN too, may come out.
    if (!(leastD - errorD > 0x1p-100) || !(ratio <= shader::rounding::Limit)) {
        return shader::ValueRange::anything();
    }
    const double spread = (errorN + ratio * errorD) / (leastD - errorD) + shader::roundingError(ratio, 0);
    const double last = shader::roundingError(ratio + spread, 2); // the reciprocal and the product
    const shader::ValueRange range = shader::ValueRange::between(least - spread - last, most + spread + last);
    return range.finite() ? range : shader::ValueRange::anything();
}

void PixelShading::writeColors()
{
    if (target.samples == 4)
        writeSampleColors<4>();
    else if (target.samples == 2)
        writeSampleColors<2>();
    else
        writeSampleColors<1>();
}

// For each sample mask, all ones in the samples it leaves alone.
template <std::int32_t Samples>
struct KeepMasks {
    std::uint32_t keep[1 << Samples][Samples];

    constexpr KeepMasks() : keep{}
    {
        for (std::uint32_t mask = 0; mask < (1u << Samples); ++mask)
            for (std::int32_t s = 0; s < Samples; ++s)
                keep[mask][s] = (mask >> s) & 1u ? 0u : ~0u;
    }
};

template <std::int32_t Samples>
void PixelShading::writeSampleColors()
{
    static constexpr KeepMasks<Samples> table;
    const std::size_t width = static_cast<std::size_t>(target.width);
    std::uint32_t* const color = target.color.data();
    const std::int32_t count = batch.count;
    // Through copies, which the stores into the target cannot alias, so
    // that each pixel's samples become one vector operation.
    std::uint32_t* out[BatchLanes];
    for (std::int32_t lane = 0; lane < count; ++lane)
        out[lane] = color + (static_cast<std::size_t>(batch.y[lane]) * width + static_cast<std::size_t>(batch.x[lane])) *
                                Samples;
    std::uint32_t laneMasks[BatchLanes], laneColors[BatchLanes];
    std::memcpy(laneMasks, masks, sizeof laneMasks);
    std::memcpy(laneColors, colors, sizeof laneColors);
    for (std::int32_t lane = 0; lane < count; ++lane) {
        std::uint32_t samples[Samples], keep[Samples], blended[Samples];
        std::memcpy(samples, out[lane], sizeof samples);
        std::memcpy(keep, table.keep[laneMasks[lane]], sizeof keep);
        for (std::int32_t s = 0; s < Samples; ++s)
            blended[s] = (samples[s] & keep[s]) | (laneColors[lane] & ~keep[s]);
        std::memcpy(out[lane], blended, sizeof blended);
    }
}

void PixelShading::flush()
{
    if (batch.count == 0)
        return;
    interpolateVaryings();
    state.shade(batch, colors);
    writeColors();
    batch.count = 0;
}

} // namespace raster
