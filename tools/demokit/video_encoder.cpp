// The video encoder over libavcodec, libavformat and libswscale: codec and
// container checks, the per-encoder options behind --crf, --preset,
// --lossless and the publishing settings (profile, B-frames, closed GOPs),
// colour conversion with the matrix the stream is tagged with, and the packet
// loop into the muxer.
//
// Entry points: VideoEncoder, describeVideoCodecs.
#include "video_encoder.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include "frame_convert.hpp"
#include "tool_errors.hpp"

namespace {

// A codec as --codec names it: its encoders in order of preference, and the
// one that does lossless work (empty: none here).
struct CodecChoice {
    const char* name;
    std::array<const char*, 3> encoders;
    const char* losslessEncoder;
};

constexpr CodecChoice Codecs[] = {
    {"h264", {"libx264", nullptr, nullptr}, "libx264rgb"},
    {"hevc", {"libx265", nullptr, nullptr}, "libx265"},
    {"vp9", {"libvpx-vp9", nullptr, nullptr}, "libvpx-vp9"},
    {"av1", {"libsvtav1", "libaom-av1", "librav1e"}, ""},
    {"ffv1", {"ffv1", nullptr, nullptr}, "ffv1"},
};

// An option an encoder is given: its name and value (nullptr: none).
struct EncoderOption {
    const char* name;
    const char* value;
};

// What is known of each encoder, in one place: how it spells its speed
// preset and its rate factor, with the defaults used here (chosen so that
// the default capture keeps up with the software device on two cores and
// still cannot be told from the frames); the RGB layout it takes for
// lossless work; whether it runs on slice threads (x264: with no frame
// threads it costs a sixth less CPU, which the renderer has more use for,
// and holds no frames back); the options it is always given, and those for
// lossless work (set after the first, so they win); what turns on the coding
// tools of the High profile where a fast preset leaves them off (a profile
// only limits x264: its stream is High only if it uses High's tools); and
// what keeps key frames to the GOP's length alone (no scene cuts).
struct EncoderTraits {
    const char* encoder;
    const char* presetOption; // nullptr: no presets
    const char* defaultPreset;
    const char* rateOption;   // nullptr: no rate factor (lossless by nature)
    std::int32_t defaultRate;
    AVPixelFormat losslessFormat; // AV_PIX_FMT_NONE: none
    bool sliceThreads;            // false: the library's own threading
    std::array<EncoderOption, 2> options;
    std::array<EncoderOption, 1> losslessOptions;
    std::array<EncoderOption, 2> highProfileOptions;
    EncoderOption keyFramesByIntervalOnly;
};

const EncoderTraits Encoders[] = {
    {"libx264", "preset", "ultrafast", "crf", 18, AV_PIX_FMT_NONE, true, {}, {},
     {{{"coder", "cabac"}, {"8x8dct", "1"}}}, {"sc_threshold", "0"}},
    {"libx264rgb", "preset", "ultrafast", nullptr, 0, AV_PIX_FMT_BGR0, true, {{{"qp", "0"}}}, {}, {}, {}},
    {"libx265", "preset", "fast", "crf", 22, AV_PIX_FMT_GBRP, false, {{{"x265-params", "log-level=error"}}},
     {{{"x265-params", "log-level=error:lossless=1"}}}, {}, {}},
    {"libvpx-vp9", "cpu-used", "5", "crf", 32, AV_PIX_FMT_GBRP, false, {{{"row-mt", "1"}}}, {{{"lossless", "1"}}},
     {}, {}},
    {"libsvtav1", "preset", "10", "crf", 32, AV_PIX_FMT_NONE, false, {}, {}, {}, {}},
    {"libaom-av1", "cpu-used", "8", "crf", 32, AV_PIX_FMT_NONE, false, {{{"row-mt", "1"}}}, {}, {}, {}},
    {"librav1e", "speed", "10", "qp", 100, AV_PIX_FMT_NONE, false, {}, {}, {}, {}},
    {"ffv1", nullptr, nullptr, nullptr, 0, AV_PIX_FMT_0RGB32, false, {{{"level", "3"}, {"slices", "4"}}}, {}, {}, {}},
};

const CodecChoice* findCodec(const std::string& name)
{
    for (const CodecChoice& codec : Codecs) {
        if (name == codec.name) {
            return &codec;
        }
    }
    return nullptr;
}

const EncoderTraits& traitsOf(const std::string& encoder)
{
    for (const EncoderTraits& traits : Encoders) {
        if (encoder == traits.encoder) {
            return traits;
        }
    }
    static const EncoderTraits none = {"", nullptr, nullptr, nullptr, 0, AV_PIX_FMT_NONE, false, {}, {}, {}, {}};
    return none;
}

const AVCodec* firstEncoder(const CodecChoice& codec)
{
    for (const char* name : codec.encoders) {
        if (name != nullptr) {
            if (const AVCodec* found = avcodec_find_encoder_by_name(name)) {
                return found;
            }
        }
    }
    return nullptr;
}

std::string describeError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string extensionOf(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return extension;
}

// libavformat's muxer for a file's extension: the three containers people
// publish in; nullptr for any other extension.
const char* muxerNameFor(const std::string& path)
{
    const std::string extension = extensionOf(path);
    return extension == ".mp4" ? "mp4" : extension == ".mkv" ? "matroska" : extension == ".webm" ? "webm" : nullptr;
}

const AVOutputFormat* containerFor(const std::string& path)
{
    const char* name = muxerNameFor(path);
    if (name == nullptr) {
        throw UsageError("record: a video file must end in .mp4, .mkv or .webm, not '" + path + "'");
    }
    const AVOutputFormat* format = av_guess_format(name, nullptr, nullptr);
    if (format == nullptr) {
        throw ToolError("record: this build's libavformat cannot write " + extensionOf(path) + " files");
    }
    return format;
}

bool offersPixelFormat(const AVCodec& encoder, AVPixelFormat format)
{
    if (encoder.pix_fmts == nullptr) {
        return true;
    }
    for (const AVPixelFormat* f = encoder.pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == format) {
            return true;
        }
    }
    return false;
}

// The pixel format encoded: RGB kept as it is for lossless work (the layout
// each lossless encoder takes), else the planar YUV asked for.
AVPixelFormat pixelFormatFor(const VideoSettings& settings, const AVCodec& encoder)
{
    if (settings.lossless) {
        const std::string name = encoder.name;
        const AVPixelFormat format = traitsOf(name).losslessFormat;
        if (format == AV_PIX_FMT_NONE || !offersPixelFormat(encoder, format)) {
            throw ToolError("record: this build's " + name + " cannot encode RGB, so not losslessly");
        }
        return format;
    }
    const std::string wanted = settings.pixelFormat.empty() ? "yuv420p" : settings.pixelFormat;
    if (wanted != "yuv420p" && wanted != "yuv444p") {
        throw UsageError("record: --pix-fmt takes yuv420p or yuv444p, not '" + wanted + "'");
    }
    const AVPixelFormat format = wanted == "yuv420p" ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV444P;
    if (!offersPixelFormat(encoder, format)) {
        throw UsageError(std::string("record: ") + encoder.name + " cannot encode " + wanted);
    }
    return format;
}

// The encoder's own options for the settings, as libavcodec takes them.
AVDictionary* encoderOptions(const VideoSettings& settings, const AVCodec& encoder)
{
    const std::string name = encoder.name;
    const EncoderTraits& traits = traitsOf(name);
    if (!settings.preset.empty() && traits.presetOption == nullptr) {
        throw UsageError("record: " + name + " has no speed presets; leave --preset out");
    }
    if (settings.crf >= 0 && (settings.lossless || traits.rateOption == nullptr)) {
        throw UsageError("record: " + settings.codec + " here is lossless; leave --crf out");
    }
    AVDictionary* options = nullptr;
    if (traits.presetOption != nullptr) {
        av_dict_set(&options, traits.presetOption,
                    settings.preset.empty() ? traits.defaultPreset : settings.preset.c_str(), 0);
    }
    if (traits.rateOption != nullptr && !settings.lossless) {
        const std::int32_t rate = settings.crf >= 0 ? settings.crf : traits.defaultRate;
        av_dict_set(&options, traits.rateOption, std::to_string(rate).c_str(), 0);
    }
    for (const EncoderOption& option : traits.options) {
        if (option.name != nullptr) {
            av_dict_set(&options, option.name, option.value, 0);
        }
    }
    for (const EncoderOption& option : traits.losslessOptions) {
        if (option.name != nullptr && settings.lossless) {
            av_dict_set(&options, option.name, option.value, 0);
        }
    }
    if (!settings.profile.empty()) {
        av_dict_set(&options, "profile", settings.profile.c_str(), 0);
        for (const EncoderOption& option : traits.highProfileOptions) {
            if (option.name != nullptr && settings.profile == "high") {
                av_dict_set(&options, option.name, option.value, 0);
            }
        }
    }
    if (settings.keyInterval > 0 && traits.keyFramesByIntervalOnly.name != nullptr) {
        av_dict_set(&options, traits.keyFramesByIntervalOnly.name, traits.keyFramesByIntervalOnly.value, 0);
    }
    return options;
}

} // namespace

// Four pixels at a time from words: two 8-byte loads, each pair's six
// bytes kept, stored 8 bytes at a time (the last two of each store are
// overwritten by the next; the last four pixels of a row go singly, so
// nothing is written past the row).
void packBgr24(const std::uint8_t* src, std::int32_t width, std::int32_t height, std::ptrdiff_t srcPitch,
               FrameLayout layout, std::uint8_t* out)
{
    const bool words = layout == FrameLayout::Argb32Words; // B at byte 0 of a word; RGBA's R at 0
    for (std::int32_t row = 0; row < height; ++row) {
        const std::uint8_t* in = src + row * srcPitch;
        std::int32_t x = 0;
        for (; words && x + 4 < width; x += 4, in += 16, out += 12) {
            std::uint64_t pair[2];
            std::memcpy(pair, in, sizeof pair);
            for (int k = 0; k < 2; ++k) { // little-endian: B, G, R, A, B, G, R, A
                const std::uint64_t packed = (pair[k] & 0xFFFFFFu) | ((pair[k] >> 8) & 0xFFFFFF000000u);
                std::memcpy(out + 6 * k, &packed, sizeof packed);
            }
        }
        for (; x < width; ++x, in += 4, out += 3) {
            out[0] = in[words ? 0 : 2];
            out[1] = in[1];
            out[2] = in[words ? 2 : 0];
        }
    }
}

bool hasVideoCodec(const std::string& name)
{
    const CodecChoice* codec = findCodec(name);
    return codec != nullptr && firstEncoder(*codec) != nullptr;
}

bool isVideoPath(const std::string& path)
{
    return muxerNameFor(path) != nullptr;
}

std::string describeVideoCodecs()
{
    std::string text;
    for (const CodecChoice& codec : Codecs) {
        const AVCodec* encoder = firstEncoder(codec);
        const std::string name = codec.name;
        text += "    " + name + std::string(6 - name.size(), ' ');
        text += encoder != nullptr ? std::string("through ") + encoder->name : "not in this build";
        if (encoder != nullptr) {
            const bool lossless = codec.losslessEncoder[0] != '\0' &&
                                  avcodec_find_encoder_by_name(codec.losslessEncoder) != nullptr;
            text += lossless ? (name == "ffv1" ? " (always lossless)" : ", lossless too") : ", no lossless mode";
        }
        text += "\n";
    }
    return text;
}

struct VideoEncoder::State {
    std::string path;
    std::string partPath;
    VideoSettings settings;
    const AVCodec* encoder = nullptr;
    AVFormatContext* muxer = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    std::unique_ptr<FrameConverter> converter;
    AVPacket* packet = nullptr;
    FrameLayout layout = FrameLayout::Argb32Words;
    bool packs = false;                  // converted from B, G, R bytes, packed here when they come otherwise
    std::vector<std::uint8_t> packed;
    std::int32_t width = 0;       // the frames given
    std::int32_t height = 0;
    std::int32_t outWidth = 0;    // the stream's; 0: the first frame's
    std::int32_t outHeight = 0;
    std::int64_t frames = 0;
    std::atomic<std::int64_t> bytes{0}; // written to the file so far
    bool finished = false;

    // The encoding stage: converted frames wait here for the thread that
    // encodes and writes them, so that converting the next frame and
    // encoding this one run at the same time. Of the ConvertedFrames
    // frames, those not waiting or being encoded are free; encode waits for
    // one. The thread is started with the stream and ended by finish (or on
    // the way out).
    static constexpr std::size_t ConvertedFrames = 3;
    std::vector<AVFrame*> converted;
    std::deque<AVFrame*> free;
    std::deque<AVFrame*> ready;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread encoding;
    std::exception_ptr failure; // the encoding thread's, thrown by the next encode or finish
    bool ending = false;

    ~State()
    {
        endEncoding();
        for (AVFrame*& frame : converted) {
            av_frame_free(&frame);
        }
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        if (muxer != nullptr) {
            avio_closep(&muxer->pb);
            avformat_free_context(muxer);
        }
        if (!finished && !partPath.empty()) {
            std::error_code ignored;
            std::filesystem::remove(partPath, ignored);
        }
    }

    [[noreturn]] void fail(const std::string& what, int code) const
    {
        throw ToolError("record: " + what + " '" + path + "': " + describeError(code));
    }

    void open(std::int32_t frameWidth, std::int32_t frameHeight, FrameLayout layout);
    void configureCodec(AVPixelFormat format, const AVPixFmtDescriptor* description);
    void openCodec();
    void writeStreamHeader();
    void makeFramesAndConverter(AVPixelFormat sourceFormat, AVPixelFormat format);
    void send(const AVFrame* input);
    AVFrame* takeFreeFrame();
    void giveBack(AVFrame* frame);  // unused after all
    void handOver(AVFrame* frame);  // to be encoded
    void encodeReadyFrames();
    void endEncoding();
    void throwEncodingFailure();
};

VideoEncoder::VideoEncoder(const std::string& path, const VideoSettings& settings, std::int32_t outWidth,
                           std::int32_t outHeight)
    : state_(std::make_unique<State>())
{
    av_log_set_level(AV_LOG_ERROR);
    setenv("SVT_LOG", "1", 0); // SVT-AV1 writes its banner unless told errors only
    State& s = *state_;
    s.path = path;
    s.settings = settings;
    s.outWidth = outWidth;
    s.outHeight = outHeight;
    if (settings.fps < 1 || settings.fps > 240) {
        throw UsageError("record: --fps must be 1 to 240 for a video");
    }
    if (s.settings.codec.empty()) {
        // Lossless in .mkv is FFV1, made for archiving; anything else H.264.
        s.settings.codec = settings.lossless && extensionOf(path) == ".mkv" ? "ffv1" : "h264";
    }
    const std::string& name = s.settings.codec;
    const CodecChoice* codec = findCodec(name);
    if (codec == nullptr) {
        throw UsageError("record: unknown codec '" + name + "' (h264, hevc, vp9, av1 or ffv1)");
    }
    s.settings.lossless = settings.lossless || (name == "ffv1" && settings.pixelFormat.empty());
    if (s.settings.lossless && !settings.pixelFormat.empty()) {
        throw UsageError("record: --lossless keeps the frames' RGB; leave --pix-fmt out");
    }
    if (s.settings.lossless) {
        if (codec->losslessEncoder[0] == '\0') {
            throw UsageError("record: " + name + " has no lossless mode here (ffv1, h264, hevc or vp9)");
        }
        s.encoder = avcodec_find_encoder_by_name(codec->losslessEncoder);
    } else {
        s.encoder = firstEncoder(*codec);
    }
    if (s.encoder == nullptr) {
        throw ToolError("record: codec " + name + " is not in this build's libavcodec");
    }
    const AVOutputFormat* container = containerFor(path);
    if (avformat_query_codec(container, s.encoder->id, FF_COMPLIANCE_NORMAL) != 1) {
        throw UsageError("record: a " + extensionOf(path) + " file cannot hold " + name +
                         (name == "ffv1" || s.settings.lossless ? " (use .mkv)" : " (use .mkv or .mp4)"));
    }
    // Fail now, before any frame is made, for an options mistake or a file
    // that cannot be written.
    AVDictionary* options = encoderOptions(s.settings, *s.encoder);
    av_dict_free(&options);
    s.packs = pixelFormatFor(s.settings, *s.encoder) == AV_PIX_FMT_YUV420P;
    s.partPath = path + ".part";
    // Through the file protocol, so that a name with a colon is never read as
    // another protocol (the muxer reopens it by this name for faststart).
    const std::string url = "file:" + s.partPath;
    if (avformat_alloc_output_context2(&s.muxer, container, nullptr, url.c_str()) < 0 || s.muxer == nullptr) {
        throw ToolError("record: cannot set up the container for '" + path + "'");
    }
    const int opened = avio_open(&s.muxer->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) {
        s.partPath.clear(); // nothing was made to remove
        s.fail("cannot write", opened);
    }
}

VideoEncoder::~VideoEncoder() = default;

FrameLayout VideoEncoder::takesLayout() const
{
    return state_->packs ? FrameLayout::Bgr24Bytes : FrameLayout::Argb32Words;
}

void VideoEncoder::State::open(std::int32_t frameWidth, std::int32_t frameHeight, FrameLayout layout)
{
    const AVPixelFormat format = pixelFormatFor(settings, *encoder);
    const AVPixFmtDescriptor* description = av_pix_fmt_desc_get(format);
    const int halves = description != nullptr ? (1 << description->log2_chroma_w) | (1 << description->log2_chroma_h) : 1;
    width = frameWidth;
    height = frameHeight;
    if (outWidth == 0 || outHeight == 0) {
        outWidth = frameWidth;
        outHeight = frameHeight;
    }
    if (halves > 1 && (outWidth % 2 != 0 || outHeight % 2 != 0)) {
        throw ToolError("record: video size " + std::to_string(outWidth) + " x " + std::to_string(outHeight) +
                        " must be even on both sides for " + av_get_pix_fmt_name(format));
    }
    this->layout = layout;
    codec = avcodec_alloc_context3(encoder);
    stream = avformat_new_stream(muxer, nullptr);
    packet = av_packet_alloc();
    if (codec == nullptr || stream == nullptr || packet == nullptr) {
        throw ToolError("record: out of memory setting up the encoder for '" + path + "'");
    }
    configureCodec(format, description);
    openCodec();
    writeStreamHeader();
    const AVPixelFormat sourceFormat = packs                                ? AV_PIX_FMT_BGR24
                                       : layout == FrameLayout::Argb32Words ? AV_PIX_FMT_0RGB32
                                                                            : AV_PIX_FMT_RGBA;
    makeFramesAndConverter(sourceFormat, format);
    encoding = std::thread([this] { encodeReadyFrames(); });
}

// Size, rate, GOP, threads and colour description of the stream.
void VideoEncoder::State::configureCodec(AVPixelFormat format, const AVPixFmtDescriptor* description)
{
    codec->width = outWidth;
    codec->height = outHeight;
    codec->pix_fmt = format;
    codec->time_base = {1, settings.fps};
    codec->framerate = {settings.fps, 1};
    codec->sample_aspect_ratio = {1, 1};
    codec->thread_count = 0; // the library's choice
    if (traitsOf(encoder->name).sliceThreads) {
        codec->thread_type = FF_THREAD_SLICE;
        codec->thread_count = static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); // one a core
    }
    codec->bit_rate = 0; // quality-driven (libvpx needs this for a pure crf)
    if (settings.bFrames >= 0) {
        codec->max_b_frames = settings.bFrames;
    }
    if (settings.keyInterval > 0) {
        codec->gop_size = settings.keyInterval;
        codec->keyint_min = settings.keyInterval;
        codec->flags |= AV_CODEC_FLAG_CLOSED_GOP;
    }
    if (description != nullptr && (description->flags & AV_PIX_FMT_FLAG_RGB) == 0) {
        // The matrix the frames are converted with (makeFrameAndConverter),
        // TV range.
        const bool hd = colourStandardFor(outHeight) == ColourStandard::Bt709;
        codec->color_range = AVCOL_RANGE_MPEG;
        codec->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
        codec->color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
        codec->color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
    }
    if ((muxer->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
}

// The encoder with its options; one it does not take is an error.
void VideoEncoder::State::openCodec()
{
    AVDictionary* options = encoderOptions(settings, *encoder);
    const int opened = avcodec_open2(codec, encoder, &options);
    const AVDictionaryEntry* unused = av_dict_get(options, "", nullptr, AV_DICT_IGNORE_SUFFIX);
    const std::string unusedName = unused != nullptr ? unused->key : "";
    av_dict_free(&options);
    if (opened < 0) {
        fail(std::string("cannot open ") + encoder->name + " for", opened);
    }
    if (!unusedName.empty()) {
        throw ToolError(std::string("record: ") + encoder->name + " does not take the option " + unusedName);
    }
}

void VideoEncoder::State::writeStreamHeader()
{
    if (avcodec_parameters_from_context(stream->codecpar, codec) < 0) {
        throw ToolError("record: cannot describe the video stream of '" + path + "'");
    }
    stream->time_base = codec->time_base;
    stream->avg_frame_rate = codec->framerate;
    const bool mp4 = std::string(muxer->oformat->name) == "mp4";
    if (codec->codec_id == AV_CODEC_ID_HEVC && mp4) {
        stream->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1'); // what other players look for
    }
    AVDictionary* muxing = nullptr;
    if (mp4) {
        // The index at the front (playable while it downloads), and no edit
        // list, which video sites ask for: B-frames' reordering is carried
        // by negative composition offsets instead, so the first frame is
        // shown at 0.
        av_dict_set(&muxing, "movflags", "+faststart+negative_cts_offsets", 0);
        av_dict_set(&muxing, "use_editlist", "0", 0);
    }
    const int written = avformat_write_header(muxer, &muxing);
    av_dict_free(&muxing);
    if (written < 0) {
        fail("cannot write", written);
    }
}

// The stream's frames, and the conversion into them (a resize too when the
// stream has another size than the frames) on this thread alone: the
// encoder's threads and the renderer have the other cores.
void VideoEncoder::State::makeFramesAndConverter(AVPixelFormat sourceFormat, AVPixelFormat format)
{
    for (std::size_t k = 0; k < ConvertedFrames; ++k) {
        AVFrame* frame = av_frame_alloc();
        if (frame != nullptr) {
            converted.push_back(frame);
            frame->format = format;
            frame->width = outWidth;
            frame->height = outHeight;
        }
        if (frame == nullptr || av_frame_get_buffer(frame, 0) < 0) {
            throw ToolError("record: out of memory for a video frame of '" + path + "'");
        }
        free.push_back(frame);
    }
    converter = std::make_unique<FrameConverter>(width, height, sourceFormat, outWidth, outHeight, format,
                                                 colourStandardFor(outHeight), 1);
}

AVFrame* VideoEncoder::State::takeFreeFrame()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return !free.empty() || failure != nullptr; });
    throwEncodingFailure();
    AVFrame* frame = free.front();
    free.pop_front();
    return frame;
}

void VideoEncoder::State::giveBack(AVFrame* frame)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        free.push_back(frame);
    }
    changed.notify_all();
}

void VideoEncoder::State::handOver(AVFrame* frame)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ready.push_back(frame);
    }
    changed.notify_all();
}

// The encoding thread: each ready frame in order into the encoder and its
// packets into the file, until the end is asked for and none is left.
void VideoEncoder::State::encodeReadyFrames()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return !ready.empty() || ending; });
        if (ready.empty()) {
            return;
        }
        AVFrame* frame = ready.front();
        ready.pop_front();
        lock.unlock();
        std::exception_ptr failed;
        try {
            send(frame);
        } catch (...) {
            failed = std::current_exception();
        }
        lock.lock();
        free.push_back(frame);
        if (failed != nullptr) {
            failure = failed;
            ready.clear();
            changed.notify_all();
            return;
        }
        changed.notify_all();
    }
}

// Lets the encoding thread write what is ready and end.
void VideoEncoder::State::endEncoding()
{
    if (!encoding.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        ending = true;
    }
    changed.notify_all();
    encoding.join();
}

// Under the mutex, or with the thread ended.
void VideoEncoder::State::throwEncodingFailure()
{
    if (failure != nullptr) {
        std::rethrow_exception(failure);
    }
}

// Hands one frame (nullptr: the end) to the encoder and writes every packet
// it has ready.
void VideoEncoder::State::send(const AVFrame* input)
{
    int result = avcodec_send_frame(codec, input);
    if (result < 0) {
        fail("cannot encode", result);
    }
    while ((result = avcodec_receive_packet(codec, packet)) >= 0) {
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        result = av_interleaved_write_frame(muxer, packet); // takes the packet's data
        if (result < 0) {
            fail("cannot write", result);
        }
        if (muxer->pb->error < 0) {
            fail("cannot write", muxer->pb->error);
        }
        bytes = avio_tell(muxer->pb);
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
        fail("cannot encode", result);
    }
}

void VideoEncoder::encode(const std::uint8_t* pixels, std::int32_t width, std::int32_t height, std::ptrdiff_t pitch,
                          FrameLayout layout)
{
    State& s = *state_;
    if (s.finished) {
        throw ToolError("record: '" + s.path + "' is already finished");
    }
    if (s.codec == nullptr) {
        s.open(width, height, layout);
    } else if (width != s.width || height != s.height || layout != s.layout) {
        throw ToolError("record: every frame of '" + s.path + "' must have the first frame's size");
    }
    if (!s.packs && layout == FrameLayout::Bgr24Bytes) {
        throw ToolError("record: B, G, R frames go only to a 4:2:0 video");
    }
    AVFrame* frame = s.takeFreeFrame();
    try {
        if (av_frame_make_writable(frame) < 0) {
            throw ToolError("record: out of memory for a video frame of '" + s.path + "'");
        }
        if (s.packs && layout != FrameLayout::Bgr24Bytes) {
            s.packed.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
            packBgr24(pixels, width, height, pitch, layout, s.packed.data());
            pixels = s.packed.data();
            pitch = static_cast<std::ptrdiff_t>(width) * 3;
        }
        s.converter->convert(pixels, pitch, *frame);
    } catch (...) {
        s.giveBack(frame);
        throw;
    }
    frame->pts = s.frames;
    s.handOver(frame);
    ++s.frames;
}

void VideoEncoder::finish()
{
    State& s = *state_;
    if (s.finished) {
        return;
    }
    if (s.codec == nullptr) {
        throw ToolError("record: no frames to encode into '" + s.path + "'");
    }
    s.endEncoding();
    s.throwEncodingFailure();
    s.send(nullptr);
    int result = av_write_trailer(s.muxer);
    if (result < 0) {
        s.fail("cannot complete", result);
    }
    result = avio_closep(&s.muxer->pb);
    if (result < 0) {
        s.fail("cannot complete", result);
    }
    std::error_code error;
    std::filesystem::rename(s.partPath, s.path, error);
    if (error) {
        throw ToolError("record: cannot name the finished video '" + s.path + "': " + error.message());
    }
    const auto size = std::filesystem::file_size(s.path, error);
    s.bytes = error ? s.bytes.load() : static_cast<std::int64_t>(size);
    s.finished = true;
}

std::int64_t VideoEncoder::bytesWritten() const
{
    return state_->bytes.load();
}
