// Where recorded frames go: one PNG, a numbered PNG sequence, or a video file
// encoded in-process. Frames arrive as the back buffer holds them, A8R8G8B8
// words row by row with row 0 on top; the alpha byte is not part of the picture.
//
// Entry points: convertFrame (pixels to opaque RGBA bytes, resized through
// libswscale's area filter), the FrameSink interface and makePngSink,
// makePngSequenceSink, makeVideoSink, makeOutputFolder. Failures throw
// ToolError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "video_encoder.hpp"

// The frame as R, G, B, A bytes with A = 255, outWidth x outHeight pixels.
// A smaller size is area-averaged by libswscale (within a level of the exact
// mean of the source area each output pixel covers), a larger one bicubic;
// the same size is an exact copy. outWidth or outHeight 0 keeps the frame's
// own size on that side.
std::vector<std::uint8_t> convertFrame(const std::uint32_t* pixels, int width, int height, int outWidth,
                                       int outHeight);

// One frame handed to a sink: width x height pixels, row 0 on top, no
// padding, in the layout the sink takes; index counts the frames of the
// output from 0 and elapsedMs is the demo time the frame shows.
struct FrameView {
    const std::uint32_t* pixels = nullptr; // A8R8G8B8 words (NULL in another layout)
    const std::uint8_t* bytes = nullptr;   // the first pixel's first byte, in any layout
    FrameLayout layout = FrameLayout::Argb32Words;
    int width = 0;
    int height = 0;
    std::int64_t index = 0;
    std::int32_t elapsedMs = 0;

    // A frame of A8R8G8B8 words.
    static FrameView ofWords(const std::uint32_t* words, int width, int height, std::int64_t index,
                             std::int32_t elapsedMs)
    {
        return {words, reinterpret_cast<const std::uint8_t*>(words), FrameLayout::Argb32Words, width, height, index,
                elapsedMs};
    }
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void write(const FrameView& frame) = 0;
    // Completes the output; a sink is finished once, after its last write.
    virtual void finish() = 0;
    // Whether write may run on several threads at once (frames then arrive
    // in any order); otherwise they come one at a time, in order.
    virtual bool takesConcurrentWrites() const { return false; }
    // The layout frames reach write in: A8R8G8B8 words, or B, G, R bytes for
    // a sink that would pack them itself (then the capture packs them as it
    // copies them, one pass instead of two).
    virtual FrameLayout takesLayout() const { return FrameLayout::Argb32Words; }
    // The bytes written to files so far (any thread may ask).
    virtual std::int64_t bytesWritten() const { return 0; }
};

// Writes the one frame it is given to path as a PNG, at the frame's size.
std::unique_ptr<FrameSink> makePngSink(const std::string& path, int outWidth = 0, int outHeight = 0);

// Writes frame k to dir/frame_%06d.png, from any number of threads at once;
// dir is made if missing. Prints nothing.
std::unique_ptr<FrameSink> makePngSequenceSink(const std::string& dir, int outWidth, int outHeight);

// Encodes the frames in order into a video file at path (its container from
// the extension), outWidth x outHeight or the first frame's size where 0.
std::unique_ptr<FrameSink> makeVideoSink(const std::string& path, const VideoSettings& settings, int outWidth,
                                         int outHeight);

// Makes the folder dir (and its parents) if missing; a ToolError naming
// command when it cannot be had.
void makeOutputFolder(const std::string& dir, const std::string& command);
