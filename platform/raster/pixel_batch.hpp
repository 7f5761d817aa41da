// Running the pixel program on batches of covered pixels of one triangle:
// collects up to BatchLanes pixels with their sample masks, interpolates the
// varyings at each pixel's sample point (i, j) from the triangle's
// varying/w and 1/w planes (perspective-correct), calls the program and
// writes its colour into the masked samples. Entry point: PixelShading
// (begin a triangle, add pixels, finish). Mask bit s is sample s. Beside
// it, interpolatedRange: what that interpolation can give anywhere in a
// triangle's box, for the test of whether a triangle is one colour.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raster/rasterizer.hpp"
#include "shader/value_ranges.hpp"

namespace raster {

// Every value PixelShading's interpolation can give component `component`
// of varying `varying` at a pixel of the triangle's bounding box.
shader::ValueRange interpolatedRange(const ScreenTriangle& tri, std::int32_t varying, std::int32_t component);

class PixelShading {
public:
    PixelShading(RenderTarget& target, const RasterState& state);

    void beginTriangle(const ScreenTriangle& tri) { triangle = &tri; }

    // Queues pixel (x, y) of the target unless mask is 0 (without a branch
    // on it: whether samples pass is as good as random); shades when full.
    void add(std::int32_t x, std::int32_t y, std::uint32_t mask)
    {
        const std::int32_t lane = batch.count;
        batch.x[lane] = x;
        batch.y[lane] = y;
        masks[lane] = mask;
        batch.count = lane + (mask != 0 ? 1 : 0);
        if (batch.count == BatchLanes)
            flush();
    }

    // add() for the first `pixels` pixels of a row from x on, with their
    // masks; the count stays in a register while they go in.
    void addRun(std::int32_t x, std::int32_t y, const std::uint32_t* runMasks, std::int32_t pixels)
    {
        std::int32_t lane = batch.count;
        if (lane + pixels > BatchLanes) { // the batch fills on the way
            for (std::int32_t p = 0; p < pixels; ++p)
                add(x + p, y, runMasks[p]);
            return;
        }
        for (std::int32_t p = 0; p < pixels; ++p) {
            batch.x[lane] = x + p;
            batch.y[lane] = y;
            masks[lane] = runMasks[p];
            lane += runMasks[p] != 0 ? 1 : 0;
        }
        batch.count = lane;
        if (lane == BatchLanes)
            flush();
    }

    // Shades what is queued; call at the end of each triangle.
    void flush();

private:
    void interpolateVaryings();
    void writeColors();
    template <std::int32_t Samples>
    void writeSampleColors();

    RenderTarget& target;
    const RasterState& state;
    const ScreenTriangle* triangle = nullptr;
    std::int32_t varyingCount;
    PixelBatch batch;
    std::uint32_t masks[BatchLanes];
    std::uint32_t colors[BatchLanes];
};

} // namespace raster
