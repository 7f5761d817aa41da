// Clears held back block by block must leave exactly what clearing at once
// leaves: the same samples wherever anything reads them, the same picture.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "raster/band_clears.hpp"

namespace {

using raster::BandClears;
using raster::RenderTarget;

RenderTarget makeTarget(std::int32_t width, std::int32_t height, std::int32_t samples)
{
    RenderTarget target;
    target.resize(width, height, samples);
    for (std::size_t i = 0; i < target.color.size(); ++i) {
        target.color[i] = static_cast<std::uint32_t>(i * 2654435761u); // not what any clear writes
        target.depth[i] = static_cast<std::uint16_t>(i * 40503u);
    }
    return target;
}

// Writes a distinct colour and depth to every sample of columns [x0, x1),
// as a draw would after asking for its columns.
void paint(RenderTarget& target, std::int32_t x0, std::int32_t x1, std::uint32_t seed)
{
    for (std::int32_t y = 0; y < target.height; ++y)
        for (std::int32_t x = std::max(x0, 0); x < std::min(x1, target.width); ++x)
            for (std::int32_t s = 0; s < target.samples; s += 2) { // leaves some samples as they were
                const std::size_t i = (static_cast<std::size_t>(y) * target.width + x) * target.samples + s;
                target.color[i] = seed ^ static_cast<std::uint32_t>(i);
                target.depth[i] = static_cast<std::uint16_t>(seed + i);
            }
}

} // namespace

TEST(BandClears, heldBackClearsGiveTheSamplesAndPictureOfClearsDoneAtOnce)
{
    // Widths: fewer columns than blocks, one column a block, and blocks of
    // several columns with a short last one.
    for (const std::int32_t width : {5, 64, 1000}) {
        for (const std::int32_t samples : {1, 4}) {
            std::mt19937 random(static_cast<std::uint32_t>(width * 7 + samples));
            RenderTarget direct = makeTarget(width, 3, samples);
            RenderTarget held = direct;
            BandClears clears;
            clears.reset(width);
            std::uniform_int_distribution<std::int32_t> column(-3, width + 3);
            // One picture throughout, as a device keeps it: blocks that held
            // a clear colour last time may be left as they are.
            std::vector<std::uint32_t> picture(static_cast<std::size_t>(width) * 3, 0x55555555u);
            for (std::int32_t step = 0; step < 200; ++step) {
                std::int32_t x0 = column(random), x1 = column(random);
                if (x0 > x1)
                    std::swap(x0, x1);
                const std::uint32_t value = random();
                const float z = static_cast<float>(value % 1000) / 1000.0f;
                switch (random() % 4) {
                case 0: { // a whole-width clear of colour, depth or both
                    const bool colour = (value & 1) != 0, depth = (value & 2) != 0 || !colour;
                    if (colour)
                        raster::clearColor(direct, 0, 0, width, 3, value);
                    if (depth)
                        raster::clearDepth(direct, 0, 0, width, 3, z);
                    clears.clearWhole(colour, value, depth, z);
                    break;
                }
                case 1: // a smaller clear
                    raster::clearColor(direct, x0, 0, x1, 3, value);
                    clears.apply(held, 0, 3, x0, x1);
                    raster::clearColor(held, x0, 0, x1, 3, value);
                    break;
                default: // a draw over some columns
                    paint(direct, x0, x1, value);
                    clears.apply(held, 0, 3, x0, x1);
                    paint(held, x0, x1, value);
                    break;
                }
                if (step % 7 == 6) {
                    std::vector<std::uint32_t> expected(picture.size());
                    raster::resolve(direct, expected.data());
                    clears.resolve(held, 0, 3, picture.data());
                    ASSERT_EQ(picture, expected) << "width " << width << ", samples " << samples << ", step " << step;
                }
            }
            clears.apply(held, 0, 3, 0, width); // whatever still waits
            EXPECT_FALSE(clears.waiting());
            EXPECT_EQ(held.color, direct.color) << "width " << width << ", samples " << samples;
            EXPECT_EQ(held.depth, direct.depth) << "width " << width << ", samples " << samples;
        }
    }
}
