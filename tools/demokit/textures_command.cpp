// demokit textures: runs the texture script (the stored one or a file) from a
// fresh random state and writes each texture as an 8-bit RGBA PNG, tex0.png
// onwards in script order, with exact pixel values and alpha kept.
//
// A script file is untrusted: it is read whole (16 MiB at most), walked once
// to count its textures and operations before any pixel work, and then run by
// the system's own runner, which never reads past the data.
#include <cstdio>
#include <memory>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "frame_output.hpp"
#include "input_file.hpp"
#include "data/embedded_data.hpp"
#include "math/random.hpp"
#include "png_file.hpp"
#include "subcommands.hpp"
#include "texgen/texture_ops.hpp"
#include "texgen/texture_script.hpp"

namespace {

const char* const TexturesDetails =
    "Runs the texture script and writes every texture it defines as DIR/texK.png\n"
    "(K from 0, in script order): 128 x 128 RGBA, 8 bits a channel, alpha kept.";

constexpr std::uintmax_t MaxScriptBytes = 16u << 20;
// Bounds on what a script file may ask for, checked before any pixel work.
constexpr std::int32_t MaxTextures = 1024;
constexpr std::int32_t MaxOperations = 100000;

struct TexturesOptions {
    std::string outDir;     // required
    std::string scriptPath; // empty: the stored script
    std::int32_t scale = 1; // output pixels per texture pixel, a side
};

std::vector<std::uint8_t> readScriptFile(const std::string& path)
{
    return readInputFile(path, MaxScriptBytes, "textures");
}

// Walks the script as the runner will, without pixel work, and refuses one
// that asks for more textures or operations than the bounds allow.
void checkScriptBounds(const std::string& path)
{
    std::int32_t textures = 0;
    std::int32_t operations = 0;
    std::int32_t cursor = 0;
    while (cursor < textureScriptSize && textureScript[cursor] != 0x40) {
        ++textures;
        while (cursor < textureScriptSize && textureScript[cursor] != 0x41) {
            if (textureScript[cursor] >= 0x40) {
                ++operations;
                cursor += textureArgumentCount(textureScript[cursor]);
            }
            ++cursor;
        }
        ++cursor;
        if (textures > MaxTextures || operations > MaxOperations) {
            throw InputError("textures: '" + path + "' defines more than " +
                            std::to_string(MaxTextures) + " textures or " +
                            std::to_string(MaxOperations) + " operations");
        }
    }
}

// A8R8G8B8 to R, G, B, A bytes, each pixel repeated scale times a side.
std::vector<std::uint8_t> convertToRgba(const std::vector<std::uint32_t>& pixels, std::int32_t scale)
{
    const std::int32_t side = TextureWidth * scale;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(side) * side * 4);
    std::size_t out = 0;
    for (std::int32_t y = 0; y < side; ++y) {
        for (std::int32_t x = 0; x < side; ++x) {
            const std::uint32_t pixel = pixels[(y / scale) * TextureWidth + x / scale];
            rgba[out++] = static_cast<std::uint8_t>(pixel >> 16);
            rgba[out++] = static_cast<std::uint8_t>(pixel >> 8);
            rgba[out++] = static_cast<std::uint8_t>(pixel);
            rgba[out++] = static_cast<std::uint8_t>(pixel >> 24);
        }
    }
    return rgba;
}

// The PNG writer names the file; this command's messages begin with its name.
void writeTexturePng(const std::string& path, const std::vector<std::uint8_t>& rgba, std::int32_t side)
{
    try {
        writePngFile(path, rgba.data(), side, side);
    } catch (const ToolError& error) {
        throw ToolError(std::string("textures: ") + error.what());
    }
}

// Runs the script under textureScript from randomSeed = 1 and writes its
// textures; returns how many were written.
std::int32_t writeTextures(const TexturesOptions& options)
{
    randomSeed = 1;
    std::vector<std::uint32_t> pixels(TexturePixelCount);
    std::int32_t written = 0;
    beginTextureScript();
    try {
        while (textureBeginsAtCursor()) {
            buildTexturePixels(pixels.data());
            const std::string name = "tex" + std::to_string(written) + ".png";
            const std::string path = (std::filesystem::path(options.outDir) / name).string();
            writeTexturePng(path, convertToRgba(pixels, options.scale), TextureWidth * options.scale);
            std::printf("wrote %s\n", path.c_str());
            ++written;
            advancePastTexture();
        }
    } catch (...) {
        endTextureScript();
        throw;
    }
    endTextureScript();
    return written;
}

int runTextures(const TexturesOptions& options)
{
    std::vector<std::uint8_t> script;
    if (!options.scriptPath.empty()) {
        script = readScriptFile(options.scriptPath);
        textureScript = script.data();
        textureScriptSize = static_cast<std::int32_t>(script.size());
        checkScriptBounds(options.scriptPath);
    }
    makeOutputFolder(options.outDir, "textures");
    const std::int32_t written = writeTextures(options);
    textureScript = embeddedTextureScript;
    textureScriptSize = sizeof embeddedTextureScript;
    if (written == 0) {
        std::puts("the script defines no textures; nothing written");
    }
    return 0;
}

} // namespace

void addTexturesCommand(CLI::App& tool, CommandRun& run)
{
    auto options = std::make_shared<TexturesOptions>();
    CLI::App* command = addCommand(tool, "textures", "The script's textures as PNG files.", TexturesDetails);
    command->add_option("--out", options->outDir, "the folder to write into; made if missing")
        ->type_name("DIR")
        ->required();
    command->add_option("--script", options->scriptPath, "run the script in FILE instead of the stored one")
        ->type_name("FILE");
    command->add_option("--scale", options->scale, "enlarge N times (1 to 16) with nearest-neighbour pixels")
        ->type_name("N")
        ->check(CLI::Range(1, 16).description(""));
    command->callback([options, &run] { run = [options] { return runTextures(*options); }; });
}
