// Texture operations: the pixel helpers, each generator's known pixels, the
// filters' wrap-around and the number of random draws each one makes.
#include "texgen/texture_ops.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "math/random.hpp"

namespace {

// Plain images standing in for the layer and the accumulator.
class TextureOps : public ::testing::Test {
protected:
    void SetUp() override
    {
        layer = lay.data();
        accumulator = acc.data();
        randomSeed = 1;
    }
    void TearDown() override { layer = accumulator = nullptr; }
    std::uint32_t at(int x, int y) const { return lay[y * TextureWidth + x]; }
    bool layerIsAll(std::uint32_t pixel) const { return lay == std::vector<std::uint32_t>(TexturePixelCount, pixel); }

    std::vector<std::uint32_t> lay = std::vector<std::uint32_t>(TexturePixelCount, 0);
    std::vector<std::uint32_t> acc = std::vector<std::uint32_t>(TexturePixelCount, 0);
};

std::uint32_t seedAfterDraws(int draws)
{
    std::uint32_t seed = 1;
    while (draws-- > 0) seed *= 16807u;
    return seed;
}

} // namespace

TEST_F(TextureOps, pixelHelpersClampTruncateAndPackAlphaFirst)
{
    EXPECT_EQ(packColor(300, -5, 255, 128), 0xFF00FF80u);
    EXPECT_EQ(clampByte(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(clampByte(-std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(clampByte(255.5f), 255);
    EXPECT_EQ(clampByte(254.99f), 254);
    EXPECT_EQ(clampByte(0.99f), 0);
}

TEST_F(TextureOps, plasmaCentresOnTheFactorAndDrawsOneNumberPerPixel)
{
    generatePlasma(1, 255, 255, 255, 255);
    EXPECT_EQ(at(64, 64), 0xFF808080u) << "all sines 0";
    EXPECT_EQ(at(0, 0), 0xFF6A6A6Au);
    EXPECT_EQ(randomSeed, seedAfterDraws(TexturePixelCount));
    generatePlasma(1, 77, 255, 0, 128); // weights scale the grey, alpha passes
    EXPECT_EQ(at(64, 64), 0x4D800040u);
}

TEST_F(TextureOps, radialFadesFromTheCentreAndRadiusZeroIsBlack)
{
    generateRadial(100, 255);
    EXPECT_EQ(at(64, 64), 0xFFFFFFFFu);
    EXPECT_EQ(at(0, 64), 0xFF5B5B5Bu);
    EXPECT_EQ(at(0, 0), 0xFF181818u);
    EXPECT_EQ(at(127, 127), 0xFF1B1B1Bu);
    generateRadial(0, 255);
    EXPECT_TRUE(layerIsAll(0xFF000000u));
}

TEST_F(TextureOps, checkerAndGridPlaceCellsAndLinesAndSurviveSizeZero)
{
    generateChecker(8, 255, 1, 2, 3);
    EXPECT_EQ(at(0, 0), 0xFF010203u);
    EXPECT_EQ(at(8, 8), 0xFF010203u);
    EXPECT_EQ(at(8, 0), 0u);
    generateChecker(0, 255, 1, 2, 3);
    EXPECT_TRUE(layerIsAll(0xFF010203u)) << "one cell, the coloured one";

    generateGrid(16, 255, 9, 9, 9);
    EXPECT_EQ(at(15, 0), 0xFF090909u);
    EXPECT_EQ(at(0, 15), 0xFF090909u);
    EXPECT_EQ(at(0, 0), 0u);
    EXPECT_EQ(at(14, 14), 0u);
    generateGrid(0, 255, 9, 9, 9);
    EXPECT_TRUE(layerIsAll(0u)) << "no lines";
}

TEST_F(TextureOps, blurWrapsAroundEveryEdgeAndMakesOpaque)
{
    acc.assign(TexturePixelCount, 0x00306090u);
    blurImage();
    EXPECT_TRUE(layerIsAll(0xFF306090u));

    // One pixel in the far corner reaches the other three corners.
    acc.assign(TexturePixelCount, 0);
    acc[127 * TextureWidth + 127] = 0x805A2D12u;
    blurImage();
    const int corners[][2] = {{0, 0}, {0, 127}, {127, 0}, {126, 126}};
    for (const auto& c : corners) {
        EXPECT_EQ(at(c[0], c[1]), 0xFF0A0502u) << c[0] << "," << c[1];
    }
    EXPECT_EQ(at(1, 1), 0xFF000000u);
    EXPECT_EQ(at(125, 127), 0xFF000000u);
}

TEST_F(TextureOps, alphaFiltersKeepTheAccumulatedColours)
{
    acc.assign(TexturePixelCount, 0x12345678u);
    setImageAlpha(0xAB);
    EXPECT_TRUE(layerIsAll(0xAB345678u));
    setRadialAlpha(100);
    EXPECT_EQ(at(64, 64), 0xFF345678u);
    EXPECT_EQ(at(0, 0), 0x18345678u);
}

TEST_F(TextureOps, shiftRowsRotatesEachRowByItsOwnDrawAndWraps)
{
    for (std::int32_t i = 0; i < TexturePixelCount; ++i) {
        acc[i] = static_cast<std::uint32_t>(i % TextureWidth);
    }
    shiftImageRows(0);
    EXPECT_EQ(lay, acc);
    EXPECT_EQ(randomSeed, seedAfterDraws(TextureHeight));

    // Draws -0.99599290 and 0.34734750: rows 0 and 1 shift by
    // trunc(q * 70 - 35) = -104 and -10 columns.
    randomSeed = 1;
    shiftImageRows(70);
    EXPECT_EQ(at(0, 0), 24u);
    EXPECT_EQ(at(103, 0), 127u);
    EXPECT_EQ(at(0, 1), 118u);
}
