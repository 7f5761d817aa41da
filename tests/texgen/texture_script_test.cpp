// The texture script runner: blend modes, the layer carried between
// operations and textures, scripts cut short, and golden digests of the six
// stored textures.
#include "texgen/texture_script.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "data/embedded_data.hpp"
#include "math/random.hpp"
#include "texgen/texture_ops.hpp"

namespace {

using Image = std::vector<std::uint32_t>;

// Runs a script from a fresh random state the way the texture list does,
// into plain images, and puts the stored script back.
std::vector<Image> runScript(const std::uint8_t* script, std::int32_t size)
{
    textureScript = script;
    textureScriptSize = size;
    randomSeed = 1;
    std::vector<Image> textures;
    beginTextureScript();
    while (textureBeginsAtCursor()) {
        textures.emplace_back(TexturePixelCount, 0xDEADBEEFu);
        buildTexturePixels(textures.back().data());
        EXPECT_EQ(textureCursor < size ? script[textureCursor] : 0x41, 0x41) << "left on EndTexture";
        advancePastTexture();
    }
    endTextureScript();
    textureScript = embeddedTextureScript;
    textureScriptSize = sizeof embeddedTextureScript;
    return textures;
}

std::vector<Image> runScript(const std::vector<std::uint8_t>& script)
{
    return runScript(script.data(), static_cast<std::int32_t>(script.size()));
}

std::uint32_t centre(const Image& image)
{
    return image[64 * TextureWidth + 64];
}

// FNV-1a 64 over the pixels' bytes, lowest byte first.
std::uint64_t digestPixels(const Image& image)
{
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (std::uint32_t pixel : image) {
        for (int shift = 0; shift < 32; shift += 8) {
            hash = (hash ^ ((pixel >> shift) & 0xFF)) * 0x100000001B3ull;
        }
    }
    return hash;
}

} // namespace

TEST(TextureBlend, modesCombinePremultipliedChannelsIntoOpaquePixels)
{
    EXPECT_EQ(blendPixel(0xFFC8C8C8u, 0xFFC8C8C8u, Add), 0xFFFFFFFFu);
    EXPECT_EQ(blendPixel(0xFF405060u, 0xFF102070u, Subtract), 0xFF303000u);
    EXPECT_EQ(blendPixel(0xFF10F010u, 0xFFF010F0u, Lighten), 0xFFF0F0F0u);
    EXPECT_EQ(blendPixel(0x00000000u, 0x80FF0000u, Add), 0xFF800000u) << "255 * 128 / 255";
    EXPECT_EQ(blendPixel(0xFF123456u, 0x00FFFFFFu, Add), 0xFF123456u) << "alpha-0 layer";
    // An alpha-0 accumulator is black to every mode but Replace.
    EXPECT_EQ(blendPixel(0x00FFFFFFu, 0xFF102030u, Lighten), 0xFF102030u);
    EXPECT_EQ(blendPixel(0x00FFFFFFu, 0xFF102030u, 7), 0xFF000000u);
    EXPECT_EQ(blendPixel(0xC0FFFFFFu, 0xFF102030u, 63), 0xFFC0C0C0u) << "Keep premultiplies";
    EXPECT_EQ(blendPixel(0x00FFFFFFu, 0x12345678u, Replace), 0x12345678u);
}

TEST(TextureScript, storedScriptMakesSixTexturesStartingWithTheGreyDisc)
{
    const std::vector<Image> textures = runScript(embeddedTextureScript, sizeof embeddedTextureScript);
    ASSERT_EQ(textures.size(), 6u);
    EXPECT_EQ(centre(textures[0]), 0xFFFFFFFFu);
    EXPECT_EQ(textures[0][64 * TextureWidth], 0xFF5B5B5Bu);
    EXPECT_EQ(textures[0][0], 0xFF181818u);
    // Pinned once the generators' known pixels were checked; a change to any
    // operation, rounding or draw count shows here.
    const std::uint64_t digests[6] = {
        0x28E90958EEC87E94ull, 0x093C89FCC7366298ull, 0x7E84E485F45729E3ull,
        0x18F641E7EC1AA887ull, 0x001CC4509EB2D94Aull, 0xD68EBDC7AA680B9Aull,
    };
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(digestPixels(textures[k]), digests[k]) << "texture " << k;
    }
}

TEST(TextureScript, modesAndTheLayerCarryAsTheScriptSays)
{
    EXPECT_TRUE(runScript({0x40}).empty());
    // Mode 0 replaces with alpha; the next texture starts in Add again; an
    // empty texture is all 0; the unlisted 0x42 adds the carried layer again
    // and 0x84, a filter, replaces with it.
    const std::vector<Image> t = runScript({0x00, 0x44, 0x64, 0x80, 0x41, 0x44, 0x64, 0x80, 0x41, 0x41,
                                            0x42, 0x41, 0x84, 0x41, 0x40});
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(centre(t[0]), 0x80FFFFFFu);
    EXPECT_EQ(centre(t[1]), 0xFF808080u);
    EXPECT_EQ(t[2], Image(TexturePixelCount, 0));
    EXPECT_EQ(t[3], t[1]);
    EXPECT_EQ(centre(t[4]), 0x80FFFFFFu);

    // ClearImage: the layer alone, added to the cleared accumulator.
    EXPECT_EQ(centre(runScript({0x44, 0x64, 0x80, 0x44, 0x64, 0x80, 0x47, 0x41})[0]), 0xFF808080u);
    // SetAlpha replaces under Lighten; Lighten then blends 0x42's layer
    // (128 either way, where Add would saturate).
    EXPECT_EQ(centre(runScript({0x02, 0x44, 0x64, 0xFF, 0x81, 0x80, 0x41})[0]), 0x80FFFFFFu);
    EXPECT_EQ(centre(runScript({0x02, 0x44, 0x64, 0xFF, 0x81, 0x80, 0x42, 0x41})[0]), 0xFF808080u);
}

TEST(TextureScript, scriptsCutShortKeepTheTexturesTheyBegan)
{
    EXPECT_TRUE(runScript(nullptr, 0).empty());
    const std::vector<Image> cutInArguments = runScript({0x44, 0x64});
    ASSERT_EQ(cutInArguments.size(), 1u);
    EXPECT_EQ(cutInArguments[0], Image(TexturePixelCount, 0));
    EXPECT_EQ(centre(runScript({0x44, 0x64, 0xFF})[0]), 0xFFFFFFFFu) << "no EndTexture";

    // Cut inside texture 2's first Plasma: textures 0 and 1 whole, texture 2
    // the checkerboard alone.
    const std::vector<Image> stored = runScript(embeddedTextureScript, sizeof embeddedTextureScript);
    const std::vector<Image> prefix = runScript(embeddedTextureScript, 40);
    ASSERT_EQ(prefix.size(), 3u);
    EXPECT_EQ(prefix[1], stored[1]);
    EXPECT_EQ(prefix[2][0], 0xFFD0D0D0u);
    EXPECT_EQ(prefix[2][8], 0xFF000000u);
}
