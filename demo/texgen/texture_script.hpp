// Running the texture script: the pixel half of building the texture list.
// Each texture's operations are run and blended into an accumulator, which
// the device code hands in (a locked staging surface) and tests and tools
// hand in as a plain 128 x 128 buffer.
#pragma once

#include <cstdint>

enum BlendMode : std::uint8_t {
    Replace = 0,
    Add = 1,
    Lighten = 2,
    Subtract = 3,
};

// Allocates the zero-filled layer (freeing an old one) and puts the cursor on
// the first script byte.
void beginTextureScript();
// Whether a texture begins at the cursor (not the end of the script).
bool textureBeginsAtCursor();
// Builds the texture that begins at the cursor into pixels (TexturePixelCount
// entries); on return the cursor stands on that texture's EndTexture byte.
void buildTexturePixels(std::uint32_t* pixels);
// Moves the cursor past the EndTexture byte under it.
void advancePastTexture();
// Frees the layer.
void endTextureScript();
// One pixel of the blend step.
std::uint32_t blendPixel(std::uint32_t acc, std::uint32_t lay, std::uint8_t mode);
