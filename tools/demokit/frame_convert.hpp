// Whole frames converted and resized by libswscale, for the PNG files and
// the video encoder alike: one context per size and format pair, run on a
// number of threads (libswscale's slices), with the colour matrix and range
// a YUV output is tagged with.
//
// Filters: a smaller output is area-averaged (each output pixel the mean of
// the source area it covers), a larger one bicubic; RGB to RGB keeps full
// chroma and rounds accurately, so a resized frame stays within a level of
// the exact mean.
//
// Entry points: ColourStandard, colourStandardFor, FrameConverter.
#pragma once

#include <cstdint>
#include <memory>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;

// The matrix, primaries and transfer of a YUV video: BT.601 (as SMPTE 170M
// tags it) for standard definition, BT.709 from 720 lines up, as players
// assume for untagged video of those sizes. Always TV range.
enum class ColourStandard { Bt601, Bt709 };
ColourStandard colourStandardFor(std::int32_t height);

class FrameConverter {
public:
    // src of srcWidth x srcHeight to dst of dstWidth x dstHeight; for a YUV
    // dst, RGB is turned into it with the standard's matrix (full-range RGB
    // to TV-range YUV). threads 0: one a core.
    FrameConverter(int srcWidth, int srcHeight, AVPixelFormat src, int dstWidth, int dstHeight, AVPixelFormat dst,
                   ColourStandard standard, int threads);
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // One frame: src's first plane, rows pitch bytes apart, into dst (its
    // planes allocated, of the dst format and size).
    void convert(const std::uint8_t* src, std::ptrdiff_t pitch, AVFrame& dst);

private:
    struct State;
    std::unique_ptr<State> state_;
};
