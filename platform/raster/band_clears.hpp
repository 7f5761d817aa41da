// Clears of a band's whole width, held back block of columns by block.
// A frame clears the whole target first, and most of it is then drawn over
// or never touched at all (the letterbox bars, the sky): filling samples
// that a draw covers next, or that only the resolve reads, is wasted work.
// So a clear of the whole width is kept as the band's value, and each block
// of columns takes it only when a draw or a smaller clear first needs its
// samples; a block still waiting at the resolve gives its colour straight
// to the picture (every sample would hold it, and so would their mean).
#pragma once

#include <cstdint>

#include "raster/rasterizer.hpp"

namespace raster {

class BandClears {
public:
    static constexpr std::int32_t MaxBlocks = 64;

    // For a band of a target `width` pixels wide whose samples are all real.
    void reset(std::int32_t width);
    // A clear of the whole width: colour, depth or both.
    void clearWhole(bool colour, std::uint32_t colourValue, bool depth, float depthValue);
    // Gives the waiting values to the samples of every block that columns
    // [x0, x1) reach, in rows [firstRow, endRow) of the target.
    void apply(RenderTarget& target, std::int32_t firstRow, std::int32_t endRow, std::int32_t x0, std::int32_t x1);
    // Resolves rows [firstRow, endRow) into the picture `out` (the whole
    // picture, width pixels a row, the same at every call): a block still
    // waiting on a colour gives that colour, any other block the mean of
    // its samples. A block that gave the same colour last time is left as
    // it is: the sky of one frame is mostly the sky of the next.
    void resolve(const RenderTarget& target, std::int32_t firstRow, std::int32_t endRow, std::uint32_t* out);
    bool waiting() const { return (colourWaiting_ | depthWaiting_) != 0; }

private:
    // The first column of a block; the width for the block past the last.
    std::int32_t columnOf(std::int32_t block) const;

    std::int32_t width_ = 0;
    std::int32_t blockColumns_ = 1;
    std::uint64_t allBlocks_ = 0; // a bit for each block of the width
    std::uint64_t colourWaiting_ = 0; // bit b: block b's colour samples are still to take colourValue_
    std::uint64_t depthWaiting_ = 0;
    std::uint32_t colourValue_ = 0;
    float depthValue_ = 1.0f;
    std::uint64_t filled_ = 0; // blocks whose pixels in the picture hold filledValue_
    std::uint32_t filledValue_ = 0;
};

} // namespace raster
