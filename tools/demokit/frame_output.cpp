// Recorded frames turned into files: the A8R8G8B8 to RGBA conversion with its
// area-averaging resize, and the three sinks (one PNG, a PNG sequence written
// from several threads, a video through VideoEncoder).
//
// Entry points: convertFrame, makePngSink, makePngSequenceSink, makeVideoSink,
// makeOutputFolder.
#include "frame_output.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "tool_errors.hpp"
#include "png_file.hpp"

namespace {

// The largest side handled, which keeps every weighted sum inside 64 bits.
constexpr int MaxSide = 1 << 16;

void checkSize(int width, int height, const char* what)
{
    if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide) {
        throw ToolError(std::string(what) + " size " + std::to_string(width) + " x " + std::to_string(height) +
                        " is out of range (1 to " + std::to_string(MaxSide) + " a side)");
    }
}

void checkRequestedSize(int outWidth, int outHeight)
{
    if (outWidth < 0 || outHeight < 0 || outWidth > MaxSide || outHeight > MaxSide) {
        throw ToolError("output size " + std::to_string(outWidth) + " x " + std::to_string(outHeight) +
                        " is out of range (0 keeps the frame's size)");
    }
}

// One source pixel's share of an output pixel along one axis.
struct Tap {
    int index;
    std::uint32_t weight;
};

// For each output pixel along an axis, the source pixels it covers and by how
// much. Measured in units of 1/out of a source pixel, output pixel o spans
// [o*src, (o+1)*src) and source pixel i spans [i*out, (i+1)*out), so every
// overlap is a whole number and each output pixel's weights add up to src.
struct AxisTaps {
    std::vector<std::size_t> begin; // out + 1 offsets into taps
    std::vector<Tap> taps;
};

AxisTaps axisTaps(int src, int out)
{
    AxisTaps axis;
    axis.begin.reserve(static_cast<std::size_t>(out) + 1);
    for (std::int64_t o = 0; o < out; ++o) {
        axis.begin.push_back(axis.taps.size());
        const std::int64_t lo = o * src;
        const std::int64_t hi = lo + src;
        for (std::int64_t i = lo / out; i <= (hi - 1) / out; ++i) {
            const std::int64_t weight = std::min(hi, (i + 1) * out) - std::max(lo, i * out);
            axis.taps.push_back({static_cast<int>(i), static_cast<std::uint32_t>(weight)});
        }
    }
    axis.begin.push_back(axis.taps.size());
    return axis;
}

std::vector<std::uint8_t> copyOpaque(const std::uint32_t* pixels, std::size_t count)
{
    std::vector<std::uint8_t> rgba(count * 4);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t pixel = pixels[k];
        rgba[k * 4 + 0] = static_cast<std::uint8_t>(pixel >> 16);
        rgba[k * 4 + 1] = static_cast<std::uint8_t>(pixel >> 8);
        rgba[k * 4 + 2] = static_cast<std::uint8_t>(pixel);
        rgba[k * 4 + 3] = 255;
    }
    return rgba;
}

std::vector<std::uint8_t> resampleOpaque(const std::uint32_t* pixels, int width, int height, int outWidth,
                                         int outHeight)
{
    const AxisTaps columns = axisTaps(width, outWidth);
    const AxisTaps rows = axisTaps(height, outHeight);
    const std::uint64_t total = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(outWidth) * static_cast<std::size_t>(outHeight) * 4);
    std::size_t out = 0;
    for (int oy = 0; oy < outHeight; ++oy) {
        for (int ox = 0; ox < outWidth; ++ox) {
            std::uint64_t red = 0;
            std::uint64_t green = 0;
            std::uint64_t blue = 0;
            for (std::size_t ty = rows.begin[oy]; ty < rows.begin[oy + 1]; ++ty) {
                const std::uint32_t* row = pixels + static_cast<std::size_t>(rows.taps[ty].index) * width;
                std::uint64_t rowRed = 0;
                std::uint64_t rowGreen = 0;
                std::uint64_t rowBlue = 0;
                for (std::size_t tx = columns.begin[ox]; tx < columns.begin[ox + 1]; ++tx) {
                    const std::uint32_t pixel = row[columns.taps[tx].index];
                    const std::uint64_t weight = columns.taps[tx].weight;
                    rowRed += ((pixel >> 16) & 0xFF) * weight;
                    rowGreen += ((pixel >> 8) & 0xFF) * weight;
                    rowBlue += (pixel & 0xFF) * weight;
                }
                const std::uint64_t weight = rows.taps[ty].weight;
                red += rowRed * weight;
                green += rowGreen * weight;
                blue += rowBlue * weight;
            }
            // Weights total width * height; round to the nearest level.
            rgba[out++] = static_cast<std::uint8_t>((red + total / 2) / total);
            rgba[out++] = static_cast<std::uint8_t>((green + total / 2) / total);
            rgba[out++] = static_cast<std::uint8_t>((blue + total / 2) / total);
            rgba[out++] = 255;
        }
    }
    return rgba;
}

// The frame as a PNG at path, resized to outWidth x outHeight where given.
void writeFramePng(const std::string& path, const FrameView& frame, int outWidth, int outHeight)
{
    const int width = outWidth != 0 ? outWidth : frame.width;
    const int height = outHeight != 0 ? outHeight : frame.height;
    const std::vector<std::uint8_t> rgba = convertFrame(frame.pixels, frame.width, frame.height, width, height);
    writePngFile(path, rgba.data(), width, height);
}

class PngSink final : public FrameSink {
public:
    PngSink(std::string path, int outWidth, int outHeight)
        : path_(std::move(path)), outWidth_(outWidth), outHeight_(outHeight)
    {
    }

    void write(const FrameView& frame) override
    {
        if (written_) {
            throw ToolError("'" + path_ + "' takes one frame; a second was given");
        }
        writeFramePng(path_, frame, outWidth_, outHeight_);
        written_ = true;
    }

    void finish() override
    {
        if (!written_) {
            throw ToolError("no frame was written to '" + path_ + "'");
        }
    }

private:
    std::string path_;
    int outWidth_;
    int outHeight_;
    bool written_ = false;
};

class PngSequenceSink final : public FrameSink {
public:
    PngSequenceSink(std::string dir, int outWidth, int outHeight)
        : dir_(std::move(dir)), outWidth_(outWidth), outHeight_(outHeight)
    {
    }

    void write(const FrameView& frame) override
    {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(frame.index));
        writeFramePng((std::filesystem::path(dir_) / name).string(), frame, outWidth_, outHeight_);
    }

    void finish() override {}
    // Each frame is its own file, named by its index: compression runs on
    // as many threads as are given.
    bool takesConcurrentWrites() const override { return true; }

private:
    std::string dir_;
    int outWidth_;
    int outHeight_;
};

// Frames at their own size go to the encoder as they are; a resized frame
// goes through the same area averaging as the PNG output.
class VideoSink final : public FrameSink {
public:
    VideoSink(const std::string& path, const VideoSettings& settings, int outWidth, int outHeight)
        : encoder_(path, settings), outWidth_(outWidth), outHeight_(outHeight)
    {
    }

    void write(const FrameView& frame) override
    {
        const int width = outWidth_ != 0 ? outWidth_ : frame.width;
        const int height = outHeight_ != 0 ? outHeight_ : frame.height;
        if (width == frame.width && height == frame.height) {
            const int pixelBytes = frame.layout == FrameLayout::Bgr24Bytes ? 3 : 4;
            encoder_.encode(frame.bytes, width, height, static_cast<std::ptrdiff_t>(width) * pixelBytes, frame.layout);
            return;
        }
        if (frame.pixels == nullptr) {
            throw ToolError("record: a frame to resize must come as A8R8G8B8 words");
        }
        const std::vector<std::uint8_t> rgba = convertFrame(frame.pixels, frame.width, frame.height, width, height);
        encoder_.encode(rgba.data(), width, height, static_cast<std::ptrdiff_t>(width) * 4, FrameLayout::RgbaBytes);
    }

    void finish() override { encoder_.finish(); }
    FrameLayout takesLayout() const override
    {
        return outWidth_ == 0 && outHeight_ == 0 ? encoder_.takesLayout() : FrameLayout::Argb32Words;
    }

private:
    VideoEncoder encoder_;
    int outWidth_;
    int outHeight_;
};

} // namespace

std::vector<std::uint8_t> convertFrame(const std::uint32_t* pixels, int width, int height, int outWidth,
                                       int outHeight)
{
    checkSize(width, height, "frame");
    checkRequestedSize(outWidth, outHeight);
    if (pixels == nullptr) {
        throw ToolError("no frame pixels to convert");
    }
    outWidth = outWidth != 0 ? outWidth : width;
    outHeight = outHeight != 0 ? outHeight : height;
    if (outWidth == width && outHeight == height) {
        return copyOpaque(pixels, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    }
    return resampleOpaque(pixels, width, height, outWidth, outHeight);
}

std::unique_ptr<FrameSink> makePngSink(const std::string& path, int outWidth, int outHeight)
{
    checkRequestedSize(outWidth, outHeight);
    return std::make_unique<PngSink>(path, outWidth, outHeight);
}

std::unique_ptr<FrameSink> makePngSequenceSink(const std::string& dir, int outWidth, int outHeight)
{
    checkRequestedSize(outWidth, outHeight);
    makeOutputFolder(dir, "record");
    return std::make_unique<PngSequenceSink>(dir, outWidth, outHeight);
}

std::unique_ptr<FrameSink> makeVideoSink(const std::string& path, const VideoSettings& settings, int outWidth,
                                         int outHeight)
{
    checkRequestedSize(outWidth, outHeight);
    return std::make_unique<VideoSink>(path, settings, outWidth, outHeight);
}

void makeOutputFolder(const std::string& dir, const std::string& command)
{
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error || !std::filesystem::is_directory(dir, error)) {
        throw ToolError(command + ": cannot make the folder '" + dir + "'");
    }
}
