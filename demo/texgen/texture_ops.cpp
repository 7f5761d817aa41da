// The texture operations and the pixel helpers they share: four generators
// that fill the layer, ClearImage, four filters that read the accumulator into
// the layer, and the table that maps each opcode to its argument count and
// function.
//
// Roundings follow the stored textures bit for bit: float(...) in the comments
// is a rounding to 32-bit float, everything else is double as written. Every
// double that becomes an integer is bounded first, and every column index
// wraps with a modulo that yields 0 to 127.
#include "texgen/texture_ops.hpp"

#include <cmath>
#include <cstring>

#include "data/embedded_data.hpp"
#include "math/random.hpp"

std::uint32_t* layer = nullptr;
std::uint32_t* accumulator = nullptr;
const std::uint8_t* textureScript = embeddedTextureScript;
std::int32_t textureScriptSize = sizeof embeddedTextureScript;
std::int32_t textureCursor = 0;

std::uint8_t clampByte(float v)
{
    if (!(v > 0.0f)) { // not-a-number lands here too
        return 0;
    }
    if (v > 255.0f) {
        return 255;
    }
    return static_cast<std::uint8_t>(v); // truncation toward zero
}

std::uint32_t packColor(std::int32_t a, std::int32_t r, std::int32_t g, std::int32_t b)
{
    const std::uint32_t alpha = clampByte(static_cast<float>(a));
    const std::uint32_t red = clampByte(static_cast<float>(r));
    const std::uint32_t green = clampByte(static_cast<float>(g));
    const std::uint32_t blue = clampByte(static_cast<float>(b));
    return (alpha << 24) | (red << 16) | (green << 8) | blue;
}

std::uint8_t maxByte(std::uint8_t p, std::uint8_t q)
{
    return p > q ? p : q;
}

namespace {

constexpr std::uint32_t ColorMask = 0x00FFFFFFu;

// Column x + offset wrapped into 0 to 127, for any offset.
std::int32_t wrapColumn(std::int32_t x, std::int32_t offset)
{
    const std::int32_t column = (x + offset) % TextureWidth;
    return column < 0 ? column + TextureWidth : column;
}

// The grey of Radial: 255 at the centre (64, 64), falling linearly to 0 at
// the radius.
std::uint8_t computeRadialValue(std::int32_t x, std::int32_t y, std::uint8_t radius)
{
    // A radius of 0 would divide by zero; its quotient (infinite or
    // not-a-number) clamps to 0, so 0 is given directly.
    if (radius == 0) {
        return 0;
    }
    const std::int32_t dx = x - 64;
    const std::int32_t dy = y - 64;
    const float d = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
    const float t = static_cast<float>(static_cast<double>(d) * 255 / radius);
    return clampByte(static_cast<float>(255 - static_cast<double>(t)));
}

// trunc(fv * float(channel / 255.0)): the product of two floats is exact in
// double, and is at most 256.
std::int32_t scalePlasmaChannel(float fv, std::uint8_t channel)
{
    const float weight = static_cast<float>(channel / 255.0);
    return static_cast<std::int32_t>(static_cast<double>(fv) * static_cast<double>(weight));
}

} // namespace

// Four sine waves around (f * 64, f * 64). One random number is drawn and
// discarded per pixel: later ShiftRows filters depend on the count.
void generatePlasma(std::uint8_t f, std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const std::int32_t centre = f * 64;
    for (std::int32_t y = 0; y < TextureHeight; ++y) {
        const std::int32_t dy = y - centre;
        // The argument is rounded to float, the sine itself taken in double.
        const float sy = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(dy * 0.125))));
        for (std::int32_t x = 0; x < TextureWidth; ++x) {
            nextRandom();
            const std::int32_t dx = x - centre;
            const float sx = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(dx * 0.0625))));
            const double sd = std::sin((dx + dy) * 0.0625);
            // |dx|, |dy| <= 16320, so the squares and their sum fit in int32.
            const double sr = std::sin(std::sqrt((dx * dx + dy * dy) * 0.125));
            // Summed left to right in double; S lies in [0, 1024].
            const double s = 128.0 * sx + 128.0 * sy + 128.0 * sd + 128.0 * sr + 512.0;
            const std::int32_t v = static_cast<std::int32_t>(s) / 4;
            const float fv = static_cast<float>(v);
            layer[y * TextureWidth + x] = packColor(a, scalePlasmaChannel(fv, r),
                                                    scalePlasmaChannel(fv, g), scalePlasmaChannel(fv, b));
        }
    }
}

void generateRadial(std::uint8_t radius, std::uint8_t a)
{
    for (std::int32_t y = 0; y < TextureHeight; ++y) {
        for (std::int32_t x = 0; x < TextureWidth; ++x) {
            const std::uint8_t value = computeRadialValue(x, y, radius);
            layer[y * TextureWidth + x] = packColor(a, value, value, value);
        }
    }
}

// Cells of n x n pixels, the top-left one coloured.
void generateChecker(std::uint8_t n, std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const std::uint32_t color = packColor(a, r, g, b);
    for (std::int32_t y = 0; y < TextureHeight; ++y) {
        for (std::int32_t x = 0; x < TextureWidth; ++x) {
            // A cell size of 0 makes the whole image one cell, the coloured top-left one.
            const std::int32_t cells = n == 0 ? 0 : x / n + y / n;
            layer[y * TextureWidth + x] = cells % 2 == 0 ? color : 0;
        }
    }
}

// Lines in the columns and rows n - 1, 2n - 1, ...
void generateGrid(std::uint8_t n, std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const std::uint32_t color = packColor(a, r, g, b);
    for (std::int32_t y = 0; y < TextureHeight; ++y) {
        for (std::int32_t x = 0; x < TextureWidth; ++x) {
            // A spacing of 0 divides nothing, so no line is drawn.
            const bool onLine = n != 0 && ((x + 1) % n == 0 || (y + 1) % n == 0);
            layer[y * TextureWidth + x] = onLine ? color : 0;
        }
    }
}

void clearImage()
{
    std::memset(accumulator, 0, TextureByteSize);
}

// 3 x 3 box filter of the accumulator, wrapping at all four edges; the
// accumulator's alpha is dropped and the result is opaque.
void blurImage()
{
    for (std::int32_t y = 0; y < TextureHeight; ++y) {
        for (std::int32_t x = 0; x < TextureWidth; ++x) {
            std::int32_t red = 0;
            std::int32_t green = 0;
            std::int32_t blue = 0;
            for (std::int32_t j = -1; j <= 1; ++j) {
                const std::int32_t row = (y + j + TextureHeight) % TextureHeight;
                for (std::int32_t i = -1; i <= 1; ++i) {
                    const std::uint32_t pixel = accumulator[row * TextureWidth + wrapColumn(x, i)];
                    red += (pixel >> 16) & 0xFF;
                    green += (pixel >> 8) & 0xFF;
                    blue += pixel & 0xFF;
                }
            }
            layer[y * TextureWidth + x] = packColor(255, red / 9, green / 9, blue / 9);
        }
    }
}

void setImageAlpha(std::uint8_t a)
{
    const std::uint32_t alpha = static_cast<std::uint32_t>(a) << 24;
    for (std::int32_t i = 0; i < TexturePixelCount; ++i) {
        layer[i] = (accumulator[i] & ColorMask) | alpha;
    }
}

// Radial's grey as alpha over the accumulated colours.
void setRadialAlpha(std::uint8_t radius)
{
    for (std::int32_t y = 0; y < TextureHeight; ++y) {
        for (std::int32_t x = 0; x < TextureWidth; ++x) {
            const std::int32_t i = y * TextureWidth + x;
            const std::uint32_t alpha = static_cast<std::uint32_t>(computeRadialValue(x, y, radius)) << 24;
            layer[i] = (accumulator[i] & ColorMask) | alpha;
        }
    }
}

// Rotates each row by trunc(q * a - a / 2) columns, one random q per row even
// when a is 0. The shift lies within [-383, 255].
void shiftImageRows(std::uint8_t amplitude)
{
    const std::int32_t half = amplitude / 2;
    for (std::int32_t y = 0; y < TextureHeight; ++y) {
        const double q = nextRandom();
        const std::int32_t shift = static_cast<std::int32_t>(q * amplitude - half);
        const std::uint32_t* source = accumulator + y * TextureWidth;
        for (std::int32_t x = 0; x < TextureWidth; ++x) {
            layer[y * TextureWidth + x] = source[wrapColumn(x, shift)];
        }
    }
}

namespace {

// One row of the opcode table: the function receives the argument bytes that
// follow the opcode.
struct TextureOperation {
    std::uint8_t opcode;        // script byte, 0x43 to 0x47 and 0x80 to 0x83
    std::int32_t argumentCount; // bytes after the opcode
    void (*run)(const std::uint8_t* args);
};

const TextureOperation TextureOperations[] = {
    {0x43, 5, [](const std::uint8_t* p) { generatePlasma(p[0], p[1], p[2], p[3], p[4]); }},
    {0x44, 2, [](const std::uint8_t* p) { generateRadial(p[0], p[1]); }},
    {0x45, 5, [](const std::uint8_t* p) { generateChecker(p[0], p[1], p[2], p[3], p[4]); }},
    {0x46, 5, [](const std::uint8_t* p) { generateGrid(p[0], p[1], p[2], p[3], p[4]); }},
    {0x47, 0, [](const std::uint8_t*) { clearImage(); }},
    {0x80, 0, [](const std::uint8_t*) { blurImage(); }},
    {0x81, 1, [](const std::uint8_t* p) { setImageAlpha(p[0]); }},
    {0x82, 1, [](const std::uint8_t* p) { setRadialAlpha(p[0]); }},
    {0x83, 1, [](const std::uint8_t* p) { shiftImageRows(p[0]); }},
};

const TextureOperation* findTextureOperation(std::uint8_t opcode)
{
    for (const TextureOperation& operation : TextureOperations) {
        if (operation.opcode == opcode) {
            return &operation;
        }
    }
    return nullptr;
}

} // namespace

std::int32_t textureArgumentCount(std::uint8_t opcode)
{
    const TextureOperation* operation = findTextureOperation(opcode);
    return operation == nullptr ? 0 : operation->argumentCount;
}

void runTextureOperation(std::uint8_t opcode)
{
    const TextureOperation* operation = findTextureOperation(opcode);
    if (operation == nullptr) {
        return; // no operation: the cursor stays on the opcode
    }
    // Arguments that would run past the end of the script: nothing is run
    // (the runner ends the texture before getting here).
    if (textureCursor + operation->argumentCount >= textureScriptSize) {
        return;
    }
    operation->run(textureScript + textureCursor + 1);
    textureCursor += operation->argumentCount;
}
