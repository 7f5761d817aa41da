// Where recorded frames go: one PNG, a numbered PNG sequence, or an .mp4 made
// by the ffmpeg program. Frames arrive as the back buffer holds them, A8R8G8B8
// words row by row with row 0 on top; the alpha byte is not part of the picture.
//
// Entry points: convertFrame (pixels to opaque RGBA bytes, resized by area
// averaging), the FrameSink interface and makePngSink, makePngSequenceSink,
// makeVideoSink, videoEncoderAvailable. Failures throw ToolError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The frame as R, G, B, A bytes with A = 255, outWidth x outHeight pixels.
// A different size is resampled by averaging the source area each output pixel
// covers, edge pixels weighted by the fraction covered; the same size is an
// exact copy. outWidth or outHeight 0 keeps the frame's own size on that side.
std::vector<std::uint8_t> convertFrame(const std::uint32_t* pixels, int width, int height, int outWidth,
                                       int outHeight);

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // One frame, width x height A8R8G8B8 pixels; elapsedMs is the demo time it shows.
    virtual void write(const std::uint32_t* pixels, int width, int height, std::int32_t elapsedMs) = 0;
    // Completes the output; a sink is finished once, after its last write.
    virtual void finish() = 0;
};

// Writes the one frame it is given to path as a PNG, at the frame's size.
std::unique_ptr<FrameSink> makePngSink(const std::string& path, int outWidth = 0, int outHeight = 0);

// Writes frames to dir/frame_000000.png, frame_000001.png, ... in write order;
// dir is made if missing. Prints nothing.
std::unique_ptr<FrameSink> makePngSequenceSink(const std::string& dir, int outWidth, int outHeight);

// Encodes frames at fps into an H.264 .mp4 at path by feeding raw RGBA to the
// ffmpeg program. The video's size is outWidth x outHeight, or the first
// frame's where 0, and must be even on both sides.
std::unique_ptr<FrameSink> makeVideoSink(const std::string& path, int fps, int outWidth, int outHeight);

// Whether an executable named ffmpeg is on PATH.
bool videoEncoderAvailable();
