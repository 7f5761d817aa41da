// Video files written in-process with FFmpeg's libraries (libavcodec,
// libavformat, libswscale): the codec, pixel format, rate control, GOP and
// container chosen by the caller, frames converted (and resized) on every
// core and encoded one by one.
//
// The file is written under a temporary name beside the target (NAME.part)
// and takes its real name only when it is complete, so a failed or
// abandoned recording never leaves a file that looks finished.
//
// Entry points: VideoSettings, VideoEncoder, describeVideoCodecs, isVideoPath.
// Usage mistakes throw UsageError, failures of the work ToolError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct VideoSettings {
    std::string codec;           // h264, hevc, vp9, av1 or ffv1; empty: ffv1 for lossless .mkv, else h264
    std::int32_t crf = -1;       // constant rate factor; -1: the codec's default here
    std::string preset;          // the encoder's speed preset; empty: the default here
    std::string pixelFormat;     // yuv420p or yuv444p; empty: yuv420p (RGB for lossless)
    bool lossless = false;       // decoded frames equal the input, bit for bit
    std::int32_t fps = 60;       // frames a second, 1 to 240
    std::string profile;         // the encoder's profile (h264: high, with the tools that make it so); empty: its own
    std::int32_t bFrames = -1;   // consecutive B-frames; -1: the encoder's own choice
    std::int32_t keyInterval = 0; // closed GOPs of this many frames, each from a key frame; 0: the encoder's choice
};

// Frames as they arrive: A8R8G8B8 words (the back buffer's layout), R, G,
// B, A bytes, or B, G, R bytes (packed by the capture queue for an encoder
// that converts from them).
enum class FrameLayout { Argb32Words, RgbaBytes, Bgr24Bytes };

// Packs width x height pixels of src (rows srcPitch bytes apart, A8R8G8B8
// words or R, G, B, A bytes) into B, G, R bytes at out, width * 3 a row.
void packBgr24(const std::uint8_t* src, std::int32_t width, std::int32_t height, std::ptrdiff_t srcPitch,
               FrameLayout layout, std::uint8_t* out);

// One line a codec, what --codec takes and which encoder of this build's
// libraries it uses (or that it has none), for --help.
std::string describeVideoCodecs();

// Whether this build's libavcodec has an encoder for the codec --codec names.
bool hasVideoCodec(const std::string& name);

// Whether path names a video file (.mp4, .mkv or .webm) rather than a folder.
bool isVideoPath(const std::string& path);

class VideoEncoder {
public:
    // Checks the settings against the codec, its encoder and the container
    // named by the file's extension (.mp4, .mkv, .webm), and creates the
    // file. The stream is set up with the first frame, outWidth x outHeight
    // (0: the first frame's size; another size is resized to as frames are
    // converted). A YUV stream is tagged, and converted, BT.601 below 720
    // lines and BT.709 from 720 up, in TV range.
    VideoEncoder(const std::string& path, const VideoSettings& settings, std::int32_t outWidth = 0,
                 std::int32_t outHeight = 0);
    // An encoder not finished removes its partial file.
    ~VideoEncoder();

    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // The layout the encoder converts from fastest: B, G, R bytes for 4:2:0
    // (swscale's direct converter), else the frame's own words.
    FrameLayout takesLayout() const;
    // One frame of width x height pixels, rows pitch bytes apart. Every frame
    // has the first frame's size and layout, which must be even on both sides
    // for formats with halved chroma.
    void encode(const std::uint8_t* pixels, std::int32_t width, std::int32_t height, std::ptrdiff_t pitch,
                FrameLayout layout);
    // Flushes the encoder, completes the container and gives the file its name.
    void finish();
    // The bytes of the file written so far (any thread may ask).
    std::int64_t bytesWritten() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
