// libswscale set up once per size and format pair. A threaded context works
// on whole frames (sws_scale_frame); the source is wrapped in a frame that
// refers to the caller's memory, so nothing is copied on the way in.
//
// Entry points: colourStandardFor, FrameConverter.
#include "frame_convert.hpp"

#include <algorithm>
#include <string>
#include <thread>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "tool_errors.hpp"

namespace {

constexpr std::int32_t HighDefinitionLines = 720;

void keepCallersMemory(void*, std::uint8_t*) {}

bool isRgb(AVPixelFormat format)
{
    const AVPixFmtDescriptor* description = av_pix_fmt_desc_get(format);
    return description != nullptr && (description->flags & AV_PIX_FMT_FLAG_RGB) != 0;
}

// Area averaging down, bicubic up; RGB to RGB at full chroma with accurate
// rounding (a resize then stays within a level of the exact mean).
int filterFlags(int srcWidth, int srcHeight, int dstWidth, int dstHeight, bool rgbToRgb)
{
    const bool smaller = dstWidth <= srcWidth && dstHeight <= srcHeight;
    int flags = smaller ? SWS_AREA : SWS_BICUBIC;
    if (rgbToRgb) {
        flags |= SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;
    }
    return flags;
}

} // namespace

ColourStandard colourStandardFor(std::int32_t height)
{
    return height >= HighDefinitionLines ? ColourStandard::Bt709 : ColourStandard::Bt601;
}

struct FrameConverter::State {
    SwsContext* context = nullptr;
    AVFrame* source = nullptr;
    AVPixelFormat sourceFormat = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0;

    ~State()
    {
        av_frame_free(&source);
        sws_freeContext(context);
    }
};

FrameConverter::FrameConverter(int srcWidth, int srcHeight, AVPixelFormat src, int dstWidth, int dstHeight,
                               AVPixelFormat dst, ColourStandard standard, int threads)
    : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.sourceFormat = src;
    s.width = srcWidth;
    s.height = srcHeight;
    if (threads <= 0) {
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    s.context = sws_alloc_context();
    s.source = av_frame_alloc();
    if (s.context == nullptr || s.source == nullptr) {
        throw ToolError("record: out of memory for a frame converter");
    }
    const bool rgbToRgb = isRgb(src) && isRgb(dst);
    av_opt_set_int(s.context, "srcw", srcWidth, 0);
    av_opt_set_int(s.context, "srch", srcHeight, 0);
    av_opt_set_int(s.context, "src_format", src, 0);
    av_opt_set_int(s.context, "dstw", dstWidth, 0);
    av_opt_set_int(s.context, "dsth", dstHeight, 0);
    av_opt_set_int(s.context, "dst_format", dst, 0);
    av_opt_set_int(s.context, "sws_flags", filterFlags(srcWidth, srcHeight, dstWidth, dstHeight, rgbToRgb), 0);
    av_opt_set_int(s.context, "threads", threads, 0);
    if (sws_init_context(s.context, nullptr, nullptr) < 0) {
        throw ToolError(std::string("record: cannot convert ") + av_get_pix_fmt_name(src) + " frames of " +
                        std::to_string(srcWidth) + " x " + std::to_string(srcHeight) + " to " +
                        av_get_pix_fmt_name(dst) + " of " + std::to_string(dstWidth) + " x " +
                        std::to_string(dstHeight));
    }
    if (!isRgb(dst)) {
        // Full-range RGB in, TV-range YUV out, with the matrix the stream is
        // tagged with.
        const int* matrix = sws_getCoefficients(standard == ColourStandard::Bt709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
        sws_setColorspaceDetails(s.context, matrix, 1, matrix, 0, 0, 1 << 16, 1 << 16);
    }
}

FrameConverter::~FrameConverter() = default;

void FrameConverter::convert(const std::uint8_t* src, std::ptrdiff_t pitch, AVFrame& dst)
{
    State& s = *state_;
    av_frame_unref(s.source);
    s.source->format = s.sourceFormat;
    s.source->width = s.width;
    s.source->height = s.height;
    s.source->data[0] = const_cast<std::uint8_t*>(src);
    s.source->linesize[0] = static_cast<int>(pitch);
    const std::size_t bytes = static_cast<std::size_t>(pitch) * static_cast<std::size_t>(s.height);
    s.source->buf[0] = av_buffer_create(s.source->data[0], bytes, keepCallersMemory, nullptr, AV_BUFFER_FLAG_READONLY);
    if (s.source->buf[0] == nullptr) {
        throw ToolError("record: out of memory converting a frame");
    }
    const int converted = sws_scale_frame(s.context, &dst, s.source);
    av_frame_unref(s.source);
    if (converted < 0) {
        throw ToolError("record: a frame could not be converted");
    }
}
