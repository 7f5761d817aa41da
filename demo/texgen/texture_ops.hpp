// The operations of the texture script and the pixel helpers they share.
//
// Images are 128 x 128 A8R8G8B8 pixels (alpha in bits 24-31, red 16-23,
// green 8-15, blue 0-7), row-major, row 0 first. Generators write the layer;
// filters read the accumulator and write the layer; ClearImage clears the
// accumulator. Operations take the script cursor on their opcode and leave it
// on their last argument byte.
#pragma once

#include <cstdint>

constexpr std::int32_t TextureWidth = 128;
constexpr std::int32_t TextureHeight = 128;
constexpr std::int32_t TexturePixelCount = TextureWidth * TextureHeight;
constexpr std::int32_t TextureByteSize = TexturePixelCount * 4;

// The result of the latest operation; allocated once for the whole script
// and never cleared between operations or textures.
extern std::uint32_t* layer;
// The texture being built (the locked staging surface, or a plain buffer).
extern std::uint32_t* accumulator;

// The script being run and the cursor into it.
extern const std::uint8_t* textureScript;
extern std::int32_t textureScriptSize;
extern std::int32_t textureCursor;

std::uint8_t clampByte(float v);
std::uint32_t packColor(std::int32_t a, std::int32_t r, std::int32_t g, std::int32_t b);
std::uint8_t maxByte(std::uint8_t p, std::uint8_t q);

// Runs the operation whose opcode is under the cursor (opcodes without an
// operation do nothing).
void runTextureOperation(std::uint8_t opcode);
// The number of argument bytes that follow the opcode (0 when it has none).
std::int32_t textureArgumentCount(std::uint8_t opcode);

// The operations, with their argument bytes; colours are alpha, red, green, blue.
void generatePlasma(std::uint8_t f, std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b);
void generateRadial(std::uint8_t radius, std::uint8_t a);
void generateChecker(std::uint8_t n, std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b);
void generateGrid(std::uint8_t n, std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b);
void clearImage();
void blurImage();
void setImageAlpha(std::uint8_t a);
void setRadialAlpha(std::uint8_t radius);
void shiftImageRows(std::uint8_t amplitude);
