// The render target's storage: sizing, clearing rectangles of pixels (all
// their samples) and resolving the samples of each pixel into one colour.
// Entry points: RenderTarget::resize, clearColor, clearDepth, resolve and
// its parts.
// Layout: sample s of pixel (x, y) at (y * width + x) * samples + s; colour
// A8R8G8B8, depth D16. Rectangles are half-open and clamped to the target.
#include <algorithm>
#include <cstddef>

#include "raster/raster_formats.hpp"
#include "raster/rasterizer.hpp"

namespace raster {

namespace {

struct PixelRect {
    std::int32_t x0, y0, x1, y1;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

PixelRect clampToTarget(const RenderTarget& target, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                        std::int32_t y1)
{
    return {std::max(x0, 0), std::max(y0, 0), std::min(x1, target.width), std::min(y1, target.height)};
}

template <typename T>
void fillRect(std::vector<T>& samples, const RenderTarget& target, const PixelRect& rect, T value)
{
    if (rect.empty())
        return;
    const std::size_t perPixel = static_cast<std::size_t>(target.samples);
    for (std::int32_t y = rect.y0; y < rect.y1; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(target.width);
        auto first = samples.begin() + static_cast<std::ptrdiff_t>((row + rect.x0) * perPixel);
        auto last = samples.begin() + static_cast<std::ptrdiff_t>((row + rect.x1) * perPixel);
        std::fill(first, last, value);
    }
}

// The rounded mean of the samples, each of the four 8-bit channels alone.
std::uint32_t averageSamples(const std::uint32_t* samples, std::uint32_t count)
{
    std::uint32_t sums[4] = {0, 0, 0, 0};
    for (std::uint32_t s = 0; s < count; ++s)
        for (std::uint32_t c = 0; c < 4; ++c)
            sums[c] += (samples[s] >> (8 * c)) & 0xFFu;
    std::uint32_t result = 0;
    for (std::uint32_t c = 0; c < 4; ++c)
        result |= ((sums[c] + count / 2) / count) << (8 * c);
    return result;
}

// The same for a power-of-two count of samples, two channels at a time in
// the 16-bit halves of a word (sums up to 255 * 256 fit), so that the loop
// over pixels vectorises.
template <std::uint32_t Count, std::uint32_t Shift>
void averagePixels(const std::uint32_t* samples, std::size_t pixels, std::uint32_t* out)
{
    constexpr std::uint32_t Low = 0x00FF00FFu, Half = (Count / 2) * 0x00010001u;
    for (std::size_t p = 0; p < pixels; ++p) {
        std::uint32_t blueRed = 0, greenAlpha = 0;
        for (std::uint32_t s = 0; s < Count; ++s) {
            blueRed += samples[p * Count + s] & Low;
            greenAlpha += (samples[p * Count + s] >> 8) & Low;
        }
        out[p] = (((blueRed + Half) >> Shift) & Low) | ((((greenAlpha + Half) >> Shift) & Low) << 8);
    }
}

} // namespace

void RenderTarget::resize(std::int32_t newWidth, std::int32_t newHeight, std::int32_t newSamples)
{
    width = std::max(newWidth, 0);
    height = std::max(newHeight, 0);
    samples = std::max(newSamples, 1);
    const std::size_t count =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * static_cast<std::size_t>(samples);
    color.assign(count, 0u);
    depth.assign(count, 0xFFFFu);
}

void clearColor(RenderTarget& target, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                std::uint32_t color)
{
    fillRect(target.color, target, clampToTarget(target, x0, y0, x1, y1), color);
}

void clearDepth(RenderTarget& target, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, float z)
{
    fillRect(target.depth, target, clampToTarget(target, x0, y0, x1, y1), static_cast<std::uint16_t>(quantiseDepth(z)));
}

void resolve(const RenderTarget& target, std::uint32_t* out)
{
    resolveRows(target, 0, target.height, out);
}

void resolveRows(const RenderTarget& target, std::int32_t firstRow, std::int32_t endRow, std::uint32_t* out)
{
    resolveRect(target, 0, firstRow, target.width, endRow, out);
}

void resolveRect(const RenderTarget& target, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                 std::uint32_t* out)
{
    const PixelRect rect = clampToTarget(target, x0, y0, x1, y1);
    if (rect.empty())
        return;
    const std::uint32_t count = static_cast<std::uint32_t>(target.samples);
    // Whole rows are one run: the loop over pixels is as long as it can be.
    const bool wholeRows = rect.x0 == 0 && rect.x1 == target.width;
    const std::size_t width = static_cast<std::size_t>(target.width);
    const std::size_t pixels = static_cast<std::size_t>(rect.x1 - rect.x0) * (wholeRows ? rect.y1 - rect.y0 : 1);
    for (std::int32_t y = rect.y0; y < (wholeRows ? rect.y0 + 1 : rect.y1); ++y) {
        const std::size_t first = static_cast<std::size_t>(y) * width + static_cast<std::size_t>(rect.x0);
        const std::uint32_t* samples = target.color.data() + first * count;
        std::uint32_t* row = out + first;
        if (count == 1)
            std::copy(samples, samples + pixels, row);
        else if (count == 2)
            averagePixels<2, 1>(samples, pixels, row);
        else if (count == 4)
            averagePixels<4, 2>(samples, pixels, row);
        else
            for (std::size_t p = 0; p < pixels; ++p)
                row[p] = averageSamples(samples + p * count, count);
    }
}

} // namespace raster
