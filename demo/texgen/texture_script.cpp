// The texture script runner: walks the script one texture at a time, runs each
// operation and blends its layer into the caller's accumulator.
//
// The cursor never reads past the script: where a texture could begin the end
// of the data reads as EndScript, inside a texture as EndTexture. The layer is
// owned here (beginTextureScript / endTextureScript); the accumulator belongs
// to the caller and is only borrowed while one texture is built.
#include "texgen/texture_script.hpp"

#include <cstring>

#include "common/allocation.hpp"
#include "texgen/texture_ops.hpp"

namespace {

constexpr std::uint8_t EndScript = 0x40;
constexpr std::uint8_t EndTexture = 0x41;
constexpr std::uint8_t FirstOpcode = 0x40;
constexpr std::uint8_t FirstFilter = 0x80;

// Set by mode bytes; 1 (Add) at the start of every texture.
std::uint8_t blendMode = Add;

std::uint8_t readScriptByte(std::int32_t position, std::uint8_t pastTheEnd)
{
    return position < textureScriptSize ? textureScript[position] : pastTheEnd;
}

// Premultiplies one channel by its pixel's alpha, truncating.
std::uint8_t premultiply(std::uint32_t pixel, std::int32_t shift, float alpha)
{
    const std::int32_t channel = static_cast<std::int32_t>((pixel >> shift) & 0xFF);
    return clampByte(static_cast<float>(channel * static_cast<double>(alpha)));
}

std::int32_t blendChannel(std::uint8_t p, std::uint8_t l, std::uint8_t mode)
{
    switch (mode) {
    case Add: return clampByte(static_cast<float>(p + l));
    case Lighten: return maxByte(p, l);
    case Subtract: return clampByte(static_cast<float>(p - l));
    default: return p; // 4 to 63 keep the accumulator
    }
}

void blendLayer(std::uint8_t mode)
{
    for (std::int32_t i = 0; i < TexturePixelCount; ++i) {
        accumulator[i] = blendPixel(accumulator[i], layer[i], mode);
    }
}

// Runs the operation under the cursor and blends its layer. Returns false,
// running nothing, when its argument bytes run past the end of the script.
bool runAndBlendOperation(std::uint8_t opcode, std::uint8_t mode)
{
    if (textureCursor + textureArgumentCount(opcode) >= textureScriptSize) {
        return false;
    }
    runTextureOperation(opcode);
    // Filters always replace: their output is the new accumulator.
    blendLayer(opcode >= FirstFilter ? static_cast<std::uint8_t>(Replace) : mode);
    return true;
}

} // namespace

std::uint32_t blendPixel(std::uint32_t acc, std::uint32_t lay, std::uint8_t mode)
{
    if (mode == Replace) {
        return lay;
    }
    // Both pixels premultiplied by their own alpha, as 32-bit floats.
    const float la = static_cast<float>((lay >> 24) / 255.0);
    const float aa = static_cast<float>((acc >> 24) / 255.0);
    std::int32_t channels[3];
    for (std::int32_t k = 0; k < 3; ++k) {
        const std::int32_t shift = 16 - 8 * k; // red, green, blue
        channels[k] = blendChannel(premultiply(acc, shift, aa), premultiply(lay, shift, la), mode);
    }
    return packColor(255, channels[0], channels[1], channels[2]);
}

void beginTextureScript()
{
    if (layer != nullptr) {
        releaseBlock(layer);
    }
    layer = allocateZeroed<std::uint32_t>(TexturePixelCount);
    textureCursor = 0;
}

bool textureBeginsAtCursor()
{
    return readScriptByte(textureCursor, EndScript) != EndScript;
}

void buildTexturePixels(std::uint32_t* pixels)
{
    accumulator = pixels;
    std::memset(accumulator, 0, TextureByteSize);
    blendMode = Add;
    std::uint8_t b = readScriptByte(textureCursor, EndTexture);
    while (b != EndTexture) {
        const std::uint8_t mode = blendMode;
        if (b < FirstOpcode) {
            blendMode = b;
        } else if (!runAndBlendOperation(b, mode)) {
            // A cut-short operation ends its texture at the end of the data.
            textureCursor = textureScriptSize;
            break;
        }
        ++textureCursor;
        b = readScriptByte(textureCursor, EndTexture);
    }
    accumulator = nullptr; // the pixels stay the caller's
}

void advancePastTexture()
{
    // At the end of the data the cursor stays, reading as EndScript.
    if (textureCursor < textureScriptSize) {
        ++textureCursor;
    }
}

void endTextureScript()
{
    releaseBlock(layer);
}
