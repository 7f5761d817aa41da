// Test support: the stored script's textures as the texture runner makes
// them from a fresh random state, as the hashes the recording device prints
// for the pixels a texture receives.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "math/random.hpp"
#include "support/recording_device.hpp"
#include "texgen/texture_ops.hpp"
#include "texgen/texture_script.hpp"

inline std::string hashText(std::uint64_t hash)
{
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

inline std::vector<std::string> expectedTextureHashes()
{
    std::vector<std::string> hashes;
    std::vector<std::uint32_t> pixels(TexturePixelCount);
    randomSeed = 1;
    beginTextureScript();
    while (textureBeginsAtCursor()) {
        buildTexturePixels(pixels.data());
        hashes.push_back(hashText(recording::fnv1a(pixels.data(), pixels.size() * 4)));
        advancePastTexture();
    }
    endTextureScript();
    return hashes;
}
