#include "raster/band_clears.hpp"

#include <algorithm>
#include <bit>

namespace raster {

namespace {

std::uint64_t blocksUpTo(std::int32_t end) // bits [0, end)
{
    return end >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << end) - 1;
}

// Calls f(first, end) for each run of consecutive set bits.
template <typename Function>
void forEachRun(std::uint64_t bits, Function f)
{
    while (bits != 0) {
        const auto first = static_cast<std::int32_t>(std::countr_zero(bits));
        const auto length = static_cast<std::int32_t>(std::countr_one(bits >> first));
        f(first, first + length);
        bits &= ~(blocksUpTo(first + length) & ~blocksUpTo(first));
    }
}

} // namespace

void BandClears::reset(std::int32_t width)
{
    width_ = std::max(width, 0);
    blockColumns_ = std::max((width_ + MaxBlocks - 1) / MaxBlocks, 1);
    allBlocks_ = blocksUpTo((width_ + blockColumns_ - 1) / blockColumns_);
    colourWaiting_ = depthWaiting_ = filled_ = 0;
}

std::int32_t BandClears::columnOf(std::int32_t block) const
{
    return std::min(block * blockColumns_, width_);
}

void BandClears::clearWhole(bool colour, std::uint32_t colourValue, bool depth, float depthValue)
{
    if (colour) {
        colourWaiting_ = allBlocks_;
        colourValue_ = colourValue;
    }
    if (depth) {
        depthWaiting_ = allBlocks_;
        depthValue_ = depthValue;
    }
}

void BandClears::apply(RenderTarget& target, std::int32_t firstRow, std::int32_t endRow, std::int32_t x0,
                       std::int32_t x1)
{
    x0 = std::max(x0, 0);
    x1 = std::min(x1, width_);
    if (x0 >= x1 || !waiting())
        return;
    const std::uint64_t reached = blocksUpTo((x1 - 1) / blockColumns_ + 1) & ~blocksUpTo(x0 / blockColumns_);
    forEachRun(colourWaiting_ & reached, [&](std::int32_t first, std::int32_t end) {
        clearColor(target, columnOf(first), firstRow, columnOf(end), endRow, colourValue_);
    });
    forEachRun(depthWaiting_ & reached, [&](std::int32_t first, std::int32_t end) {
        clearDepth(target, columnOf(first), firstRow, columnOf(end), endRow, depthValue_);
    });
    colourWaiting_ &= ~reached;
    depthWaiting_ &= ~reached;
}

void BandClears::resolve(const RenderTarget& target, std::int32_t firstRow, std::int32_t endRow,
                         std::uint32_t* out)
{
    const std::uint64_t alreadyFilled = filledValue_ == colourValue_ ? filled_ : 0;
    forEachRun(colourWaiting_ & ~alreadyFilled, [&](std::int32_t first, std::int32_t end) {
        for (std::int32_t y = firstRow; y < endRow; ++y) {
            std::uint32_t* row = out + static_cast<std::ptrdiff_t>(y) * width_;
            std::fill(row + columnOf(first), row + columnOf(end), colourValue_);
        }
    });
    forEachRun(~colourWaiting_ & allBlocks_, [&](std::int32_t first, std::int32_t end) {
        resolveRect(target, columnOf(first), firstRow, columnOf(end), endRow, out);
    });
    filled_ = colourWaiting_;
    filledValue_ = colourValue_;
}

} // namespace raster
