// Recorded frames turned into files: the A8R8G8B8 to RGBA conversion (a
// resize through libswscale's area filter), and the three sinks (one PNG, a
// PNG sequence written from several threads, a video through VideoEncoder,
// which resizes as it converts).
//
// Entry points: convertFrame, makePngSink, makePngSequenceSink, makeVideoSink,
// makeOutputFolder.
#include "frame_output.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
}

#include "frame_convert.hpp"
#include "png_file.hpp"
#include "tool_errors.hpp"

namespace {

// The largest side handled.
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

// A8R8G8B8 words to R, G, B, A bytes of another size, through libswscale on
// the calling thread (PNG files are written on every core already); its
// alpha is opaque, as the source has none.
std::vector<std::uint8_t> resizeOpaque(const std::uint32_t* pixels, int width, int height, int outWidth,
                                       int outHeight)
{
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> resized(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    if (resized == nullptr) {
        throw ToolError("out of memory resizing a frame");
    }
    resized->format = AV_PIX_FMT_RGBA;
    resized->width = outWidth;
    resized->height = outHeight;
    if (av_frame_get_buffer(resized.get(), 0) < 0) {
        throw ToolError("out of memory resizing a frame");
    }
    FrameConverter converter(width, height, AV_PIX_FMT_BGR0, outWidth, outHeight, AV_PIX_FMT_RGBA,
                             ColourStandard::Bt709, 1);
    converter.convert(reinterpret_cast<const std::uint8_t*>(pixels), static_cast<std::ptrdiff_t>(width) * 4,
                      *resized);
    const std::size_t rowBytes = static_cast<std::size_t>(outWidth) * 4;
    std::vector<std::uint8_t> rgba(rowBytes * static_cast<std::size_t>(outHeight));
    for (int y = 0; y < outHeight; ++y) {
        std::memcpy(rgba.data() + rowBytes * static_cast<std::size_t>(y),
                    resized->data[0] + static_cast<std::ptrdiff_t>(resized->linesize[0]) * y, rowBytes);
    }
    return rgba;
}

// The frame as a PNG at path, resized to outWidth x outHeight where given;
// the file's size.
std::int64_t writeFramePng(const std::string& path, const FrameView& frame, int outWidth, int outHeight)
{
    const int width = outWidth != 0 ? outWidth : frame.width;
    const int height = outHeight != 0 ? outHeight : frame.height;
    const std::vector<std::uint8_t> rgba = convertFrame(frame.pixels, frame.width, frame.height, width, height);
    writePngFile(path, rgba.data(), width, height);
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::int64_t>(size);
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
        bytes_ = writeFramePng(path_, frame, outWidth_, outHeight_);
        written_ = true;
    }

    void finish() override
    {
        if (!written_) {
            throw ToolError("no frame was written to '" + path_ + "'");
        }
    }

    std::int64_t bytesWritten() const override { return bytes_; }

private:
    std::string path_;
    int outWidth_;
    int outHeight_;
    bool written_ = false;
    std::int64_t bytes_ = 0;
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
        bytes_ += writeFramePng((std::filesystem::path(dir_) / name).string(), frame, outWidth_, outHeight_);
    }

    void finish() override {}
    std::int64_t bytesWritten() const override { return bytes_.load(); }
    // Each frame is its own file, named by its index: compression runs on
    // as many threads as are given.
    bool takesConcurrentWrites() const override { return true; }

private:
    std::string dir_;
    int outWidth_;
    int outHeight_;
    std::atomic<std::int64_t> bytes_{0};
};

// Frames go to the encoder as they come; it converts them, resized where
// the video has another size, in one pass.
class VideoSink final : public FrameSink {
public:
    VideoSink(const std::string& path, const VideoSettings& settings, int outWidth, int outHeight)
        : encoder_(path, settings, outWidth, outHeight)
    {
    }

    void write(const FrameView& frame) override
    {
        const int pixelBytes = frame.layout == FrameLayout::Bgr24Bytes ? 3 : 4;
        encoder_.encode(frame.bytes, frame.width, frame.height, static_cast<std::ptrdiff_t>(frame.width) * pixelBytes,
                        frame.layout);
    }

    void finish() override { encoder_.finish(); }
    FrameLayout takesLayout() const override { return encoder_.takesLayout(); }
    std::int64_t bytesWritten() const override { return encoder_.bytesWritten(); }

private:
    VideoEncoder encoder_;
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
    return resizeOpaque(pixels, width, height, outWidth, outHeight);
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
