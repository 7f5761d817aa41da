#include "host/sdl/screenshot_file.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <png.h>

namespace sdlhost {
namespace {

// XDG_PICTURES_DIR from user-dirs.dirs ("$HOME/Pictures" as the file
// writes it), or empty.
std::string picturesFolderFromUserDirs(const std::string& home)
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string file = (config != nullptr && config[0] != '\0' ? std::string(config) : home + "/.config") +
                             "/user-dirs.dirs";
    std::ifstream in(file);
    const std::string key = "XDG_PICTURES_DIR=";
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, key.size(), key) != 0) {
            continue;
        }
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.compare(0, 5, "$HOME") == 0) {
            value = home + value.substr(5);
        }
        return value;
    }
    return "";
}

std::string picturesFolder()
{
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        return ".";
    }
    std::string folder = picturesFolderFromUserDirs(home);
    if (folder.empty()) {
        folder = std::string(home) + "/Pictures";
    }
    std::error_code error;
    return std::filesystem::is_directory(folder, error) ? folder : ".";
}

} // namespace

bool writeScreenshot(const std::string& path, const std::uint32_t* pixels, std::int32_t width, std::int32_t height)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (std::size_t k = 0; k < rgb.size() / 3; ++k) {
        rgb[k * 3 + 0] = static_cast<std::uint8_t>(pixels[k] >> 16);
        rgb[k * 3 + 1] = static_cast<std::uint8_t>(pixels[k] >> 8);
        rgb[k * 3 + 2] = static_cast<std::uint8_t>(pixels[k]);
    }
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    const int written = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
    png_image_free(&image);
    return written != 0;
}

std::string screenshotPath(std::int32_t elapsedMs)
{
    const std::filesystem::path folder = picturesFolder();
    const std::string stem = "demo-" + std::to_string(elapsedMs) + "ms";
    std::filesystem::path path = folder / (stem + ".png");
    std::error_code error;
    for (int copy = 2; std::filesystem::exists(path, error); ++copy) {
        path = folder / (stem + "-" + std::to_string(copy) + ".png");
    }
    return path.string();
}

} // namespace sdlhost
