// The size a capture is drawn and written at. The program draws a 1024 x 768
// frame whose picture is the 1024 x 640 band in its middle (16:10, black bars
// above and below). A capture keeps the frame or, cropped, the band, and is
// written at the size asked for: the device draws the frame at the size that
// makes what is kept exactly that size (the front end's render size, as the
// player draws at its window's size), so nothing is resampled that the device
// can draw. Only a size it cannot draw (smaller than the program's own, or of
// another shape than what is kept) is resized from the nearest larger one it
// can.
//
// Entry points: parseCaptureSize, planCapture, pictureBand. Sizes in pixels;
// every side even, as 4:2:0 video needs.
#pragma once

#include <cstdint>
#include <string>

// The program's own back buffer, and its picture band's height.
constexpr std::int32_t ProgramFrameWidth = 1024;
constexpr std::int32_t ProgramFrameHeight = 768;
constexpr std::int32_t ProgramBandHeight = 640;
// The largest side the device draws (d3d9::MaxRenderSide) and --size takes.
constexpr std::int32_t LargestCaptureSide = 8192;

// The rectangle of a frame that is kept; an empty one keeps the whole frame.
struct CropRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// What --size asked for: WxH, or a name (720p, 1080p, 1440p, 2160p) giving
// the picture band's height, its width following the band's 16:10 and the
// frame's 4:3 around it when the bars are kept.
struct CaptureSize {
    std::int32_t width = 0;     // 0: not given
    std::int32_t height = 0;
    std::int32_t bandLines = 0; // a name's lines; 0: WxH
    bool given() const { return width > 0 || bandLines > 0; }
};

// "1920x1080" or "2160p"; a UsageError naming what --size takes otherwise.
CaptureSize parseCaptureSize(const std::string& text);
// The size names, for the help: "720p, 1080p, 1440p, 2160p".
std::string captureSizeNames();

// How one capture is drawn and written.
struct CapturePlan {
    std::int32_t renderWidth = 0;  // the device's render size for the program's frame
    std::int32_t renderHeight = 0;
    CropRect kept;                 // what is kept of the render
    std::int32_t outWidth = 0;     // the frames written
    std::int32_t outHeight = 0;
    bool resized() const { return outWidth != kept.width || outHeight != kept.height; }
};

// The plan for --scale (1 to 4; ignored when size is given), --size and
// --crop.
CapturePlan planCapture(std::int32_t scale, const CaptureSize& size, bool crop);

// The picture band of a width x height frame: its 16:10 rows, centred; the
// whole frame where it is no taller than that.
CropRect pictureBand(int width, int height);
