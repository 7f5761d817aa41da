// Exact sample coverage of a small triangle by its three edge functions in
// 32-bit arithmetic, a row at a time: what the scan uses for triangles up
// to MaxExtent on a side, where a row is short and the exact column runs
// of RowCoverage would cost more than testing every sample. Entry point:
// EdgeRows<Samples> (fits, begin, advance, span, cover). Edge function E
// as in coverage.cpp (28.4 units squared, top-left bias folded in), laid
// out in the lanes of a quad of QuadPixels pixels starting at column
// `origin` (lane k: sample k % Samples of pixel k / Samples), so that the
// loops over lanes have a fixed length and vectorise whole.
#pragma once

#include <algorithm>
#include <cstdint>

#include "raster/raster_formats.hpp"
#include "raster/rasterizer.hpp"

namespace raster {

constexpr std::int32_t QuadPixels = 4;

template <std::int32_t Samples>
struct EdgeRows {
    static constexpr std::int32_t Lanes = QuadPixels * Samples;
    // 28.4 units: with corners and samples this close, |E| < 2^28.
    static constexpr std::int32_t MaxExtent = 1 << 13;

    alignas(16) std::int32_t value[3][Lanes]; // E of each lane, quad at origin, current row
    std::int32_t columnStep[3];               // decrease of E a column: 16 * dy
    std::int32_t rowStep[3];                  // increase of E a row: 16 * dx
    float inverseStep[3];                     // 1 / columnStep, 0 for a horizontal edge
    std::int32_t origin = 0;

    static bool fits(const ScreenTriangle& tri)
    {
        const auto extent = [](const std::int32_t* v) {
            return std::max({v[0], v[1], v[2]}) - std::min({v[0], v[1], v[2]});
        };
        return extent(tri.x) < MaxExtent && extent(tri.y) < MaxExtent;
    }

    // At pixel row `row`, quads counted from originColumn (the first column
    // the scan looks at, within MaxExtent of the corners), for the samples
    // at `pattern`.
    void begin(const ScreenTriangle& tri, std::int32_t row, std::int32_t originColumn, const SamplePattern& pattern)
    {
        origin = originColumn;
        for (std::int32_t e = 0; e < 3; ++e) {
            const std::int32_t next = e == 2 ? 0 : e + 1;
            const std::int32_t dx = tri.x[next] - tri.x[e];
            const std::int32_t dy = tri.y[next] - tri.y[e];
            const std::int32_t bias = dy < 0 || (dy == 0 && dx > 0) ? 0 : -1;
            columnStep[e] = dy * SubpixelScale;
            rowStep[e] = dx * SubpixelScale;
            inverseStep[e] = dy == 0 ? 0.0f : 1.0f / static_cast<float>(columnStep[e]);
            for (std::int32_t k = 0; k < Lanes; ++k) {
                const std::int32_t s = k % Samples, column = origin + k / Samples;
                value[e][k] = dx * (row * SubpixelScale + pattern.dy[s] - tri.y[e]) -
                              dy * (column * SubpixelScale + pattern.dx[s] - tri.x[e]) + bias;
            }
        }
    }

    // The lane loops are kept as loops (unroll 1): that way the compiler
    // vectorises them whole, where unrolled first they became scalar code.
    void advance()
    {
        for (std::int32_t e = 0; e < 3; ++e)
#pragma GCC unroll 1
            for (std::int32_t k = 0; k < Lanes; ++k)
                value[e][k] += rowStep[e];
    }

    // Columns of the current row, within [first, last] as given (first >=
    // origin), that may hold a covered sample: a little more than the exact
    // run (float arithmetic, a column of margin each side). False when none
    // can.
    bool span(std::int32_t& first, std::int32_t& last) const
    {
        float low = static_cast<float>(first - origin), high = static_cast<float>(last - origin);
        for (std::int32_t e = 0; e < 3; ++e) {
            // Where E of each sample crosses zero along the row, in columns
            // from origin: lanes 0 .. Samples - 1 are the samples of origin.
            float crossing[Samples];
            for (std::int32_t s = 0; s < Samples; ++s)
                crossing[s] = static_cast<float>(value[e][s]) * inverseStep[e];
            float least = crossing[0], most = crossing[0];
            std::int32_t largest = value[e][0];
            for (std::int32_t s = 1; s < Samples; ++s) {
                least = std::min(least, crossing[s]);
                most = std::max(most, crossing[s]);
                largest = std::max(largest, value[e][s]);
            }
            if (columnStep[e] < 0)
                low = std::max(low, least - 1.0f); // a left edge: inside from the crossing on
            else if (columnStep[e] > 0)
                high = std::min(high, most + 1.0f); // a right edge: inside up to it
            else if (largest < 0)
                return false; // a horizontal edge with every sample outside
        }
        if (!(low <= high))
            return false;
        // Both are >= 0 here, so truncation is the floor.
        const std::int32_t lowColumns = static_cast<std::int32_t>(low);
        const std::int32_t highColumns = static_cast<std::int32_t>(high);
        first = origin + lowColumns;
        last = origin + highColumns + (static_cast<float>(highColumns) < high ? 1 : 0);
        return true;
    }

    // covered[k] (all ones or zero) for the quad at `column`, no column
    // past `last` covered.
    void cover(std::int32_t column, std::int32_t last, std::int32_t* covered) const
    {
        const std::int32_t offset = column - origin;
        const std::int32_t step0 = columnStep[0] * offset, step1 = columnStep[1] * offset,
                           step2 = columnStep[2] * offset;
        const std::int32_t lastLane = (last - column + 1) * Samples;
        for (std::int32_t k = 0; k < Lanes; ++k) {
            // Inside all three edges: none of the values has its sign bit
            // set; the shift spreads the sign over the word.
            const std::int32_t all = (value[0][k] - step0) | (value[1][k] - step1) | (value[2][k] - step2);
            covered[k] = ~(all >> 31) & (k < lastLane ? -1 : 0);
        }
    }
};

} // namespace raster
