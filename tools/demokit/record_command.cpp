// demokit record: runs the program's own WinMain on the headless host with
// the software device and keeps the frames asked for: one frame at an exact
// elapsed time as PNG, or a range at a frame rate as a PNG sequence or a
// video. The frames before the first kept one run at the display rate
// without pixel work, so the animation's history is the one a viewer saw.
// The device draws at the size the capture is kept at (capture_size); --for
// sets what a place to publish asks for (capture_profiles). Frames are
// written by other threads while the next ones render; Ctrl+C ends the run
// early and completes the output with the frames made.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture_profiles.hpp"
#include "capture_queue.hpp"
#include "capture_size.hpp"
#include "command_line.hpp"
#include "frame_output.hpp"
#include "headless_run.hpp"
#include "progress_bar.hpp"
#include "subcommands.hpp"

namespace {

const char* const RecordDetails =
    "usage: demokit record --at MS [--out FILE.png] [options]\n"
    "       demokit record [--from A] [--to B] [--fps N] --out DIR|FILE.mp4 [options]\n"
    "\n"
    "Runs the demo headless and writes the frames asked for: one frame at an exact\n"
    "elapsed time (default file frame-MS.png), or a range (default the whole\n"
    "timeline) as PNG frames in a folder (frame_000000.png ...) or a video file\n"
    "(.mp4, .mkv or .webm; written as NAME.part and named when complete). Ctrl+C\n"
    "ends a recording early: the video is completed with the frames made and the\n"
    "exit code is 130.\n"
    "\n"
    "The device draws the picture at the size it is kept at: --size 2160p --crop\n"
    "is the 3456 x 2160 band drawn at that size, not enlarged. A size it cannot\n"
    "draw (smaller than the program's 1024 x 768, or of another shape than what\n"
    "is kept) is drawn at the nearest larger one and resized by libswscale.\n"
    "\n"
    "--for sets everything for one place a capture goes; any flag given beside\n"
    "it still wins:\n";

struct RecordOptions {
    RangeOptions range;
    std::int32_t at = -1;    // --at
    std::int32_t fps = 60;
    std::string out;
    CaptureSize size;        // --size; none: the render scale's size
    std::int32_t scale = 1;
    bool scaleGiven = false;
    bool crop = false;
    bool codecGiven = false; // any of the video options
    std::string profile;     // --for
    VideoSettings video;
    CapturePlan plan;        // made once every option is read
};

// The flags given on the command line, by name.
using FlagGiven = std::function<bool(const char*)>;

// --for's settings, where the flag of each was not given.
void applyProfile(RecordOptions& options, const FlagGiven& given)
{
    const CaptureProfile* profile = findCaptureProfile(options.profile);
    if (profile == nullptr) {
        throw UsageError("record: --for takes " + captureProfileNames() + ", not '" + options.profile + "'");
    }
    if (!given("--size") && !given("--scale")) {
        options.size = profile->size;
    }
    options.crop = options.crop || profile->crop;
    if (!given("--fps")) {
        options.fps = profile->video.fps;
    }
    VideoSettings& video = options.video;
    const VideoSettings& wanted = profile->video;
    if (!given("--codec")) {
        video.codec = wanted.codec == "av1" && !hasVideoCodec("av1") ? "vp9" : wanted.codec;
    }
    if (!given("--codec") && !given("--lossless")) {
        // The profile's own tools belong to its codec and its lossy stream.
        video.profile = wanted.profile;
        video.bFrames = wanted.bFrames;
    }
    video.keyInterval = wanted.keyInterval;
    if (!given("--crf") && !video.lossless) {
        video.crf = wanted.crf;
    }
    if (!given("--preset") && !given("--codec")) {
        video.preset = wanted.preset;
    }
    if (!given("--pix-fmt") && !video.lossless) {
        video.pixelFormat = wanted.pixelFormat;
    }
    video.lossless = video.lossless || wanted.lossless;
    if (options.out.empty() && options.at < 0) {
        options.out = std::string("demo") + profile->extension;
    }
}

// The checks that need every option read.
void checkRecordOptions(RecordOptions& options)
{
    checkRangeOptions(options.range, "record");
    if (deviceList(options.range).size() != 1) {
        throw UsageError("record: --device takes one device");
    }
    if (options.at >= 0 && options.range.ranged) {
        throw UsageError("record: --at and --from/--to exclude each other");
    }
    if (options.at < -1) {
        throw UsageError("record: --at must not be negative");
    }
    if (options.at < 0 && options.out.empty()) {
        throw UsageError("record: --out DIR or FILE.mp4 is required for a range (see demokit record --help)");
    }
    if (options.codecGiven && (options.at >= 0 || !isVideoPath(options.out))) {
        throw UsageError("record: --codec, --crf, --preset, --pix-fmt and --lossless are for a video file (.mp4, "
                         ".mkv or .webm)");
    }
    if (options.scaleGiven && options.size.given()) {
        throw UsageError("record: --scale and --size exclude each other (--size draws at the size asked for)");
    }
    options.plan = planCapture(options.scale, options.size, options.crop);
    if (options.video.lossless && options.plan.resized()) {
        throw UsageError("record: --lossless keeps the frames as drawn, and the device cannot draw " +
                         std::to_string(options.plan.outWidth) + " x " + std::to_string(options.plan.outHeight) +
                         ": choose a size it can (see --help)");
    }
    options.video.fps = options.fps;
}

// Elapsed times A + floor(i * 1000 / fps) up to B, without repeats.
std::vector<std::int32_t> frameTimes(const RecordOptions& options)
{
    if (options.at >= 0) {
        return {options.at};
    }
    std::vector<std::int32_t> times;
    for (std::int64_t i = 0;; ++i) {
        const std::int64_t t = options.range.from + i * 1000 / options.fps;
        if (t > options.range.to) {
            break;
        }
        if (times.empty() || times.back() != t) {
            times.push_back(static_cast<std::int32_t>(t));
        }
    }
    return times;
}

// Where the frames go: --out, or frame-MS.png for a frame with none.
std::string outputPath(const RecordOptions& options)
{
    return options.out.empty() ? "frame-" + std::to_string(options.at) + ".png" : options.out;
}

std::unique_ptr<FrameSink> makeSink(const RecordOptions& options)
{
    // Frames the device drew at their size go as they are; others are resized.
    const CapturePlan& plan = options.plan;
    const int width = plan.resized() ? plan.outWidth : 0;
    const int height = plan.resized() ? plan.outHeight : 0;
    if (options.at >= 0) {
        return makePngSink(outputPath(options), width, height);
    }
    if (isVideoPath(options.out)) {
        return makeVideoSink(options.out, options.video, width, height);
    }
    return makePngSequenceSink(options.out, width, height);
}

// "1.23 GB", "45.6 MB", "789 kB" (1,000s).
std::string describeBytes(std::int64_t bytes)
{
    char text[32];
    const double value = static_cast<double>(bytes);
    if (bytes >= 1000000000) {
        std::snprintf(text, sizeof text, "%.2f GB", value / 1e9);
    } else if (bytes >= 1000000) {
        std::snprintf(text, sizeof text, "%.1f MB", value / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.0f kB", value / 1e3);
    }
    return text;
}

// The last line: what was written, how large, how long it took and how many
// times real time that was.
void reportWritten(const RecordOptions& options, std::int64_t frames, std::int64_t bytes, double seconds)
{
    const std::string where = outputPath(options);
    std::printf("wrote %lld frame%s of %d x %d to %s", static_cast<long long>(frames), frames == 1 ? "" : "s",
                options.plan.outWidth, options.plan.outHeight, where.c_str());
    if (bytes > 0) {
        std::printf(": %s", describeBytes(bytes).c_str());
    }
    std::printf(" in %.1f s", seconds);
    if (frames > 1 && seconds > 0.0) {
        const double shown = static_cast<double>(frames) / options.fps; // the demo time the frames span
        std::printf(" (%.0f frames a second, %.2f times real time)", static_cast<double>(frames) / seconds,
                    shown / seconds);
    }
    std::printf("\n");
}

// Frames waiting for the writers: at 2160p four frames of B, G, R bytes are
// 90 MB. Deeper queues were measured to make no difference: the writers keep
// up on average and four absorb a frame's ups and downs.
constexpr std::size_t CaptureDepth = 4;

// Ctrl+C asks the run to stop; a second one ends the process as usual.
std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int)
{
    interrupted.store(true);
    std::signal(SIGINT, SIG_DFL);
}

class InterruptHandler {
public:
    InterruptHandler() { previous_ = std::signal(SIGINT, onInterrupt); }
    ~InterruptHandler() { std::signal(SIGINT, previous_); }
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

private:
    void (*previous_)(int) = SIG_DFL;
};

// A frame is copied into the queue by the device's worker that finishes it,
// while the program goes on with the next one; `presented` counts it then.
void captureWhenResolved(const d3d9::Frame& frame, std::int32_t elapsedMs, bool pictureOnly, CaptureQueue& queue,
                         std::atomic<std::int64_t>& presented, std::atomic<bool>& failed)
{
    const CropRect crop = CaptureQueue::keptRect(frame.width, frame.height,
                                                 pictureOnly ? pictureBand(frame.width, frame.height) : CropRect{});
    const int width = frame.width, height = frame.height;
    frame.whenResolved([&queue, &failed, &presented, width, height, crop, elapsedMs](const std::uint32_t* pixels) {
        if (queue.push(pixels, width, height, crop, elapsedMs)) {
            ++presented;
        } else {
            failed = true;
        }
    });
}

int runRecord(const RecordOptions& options)
{
    const auto started = std::chrono::steady_clock::now();
    const std::vector<std::int32_t> times = frameTimes(options);
    std::unique_ptr<FrameSink> sink = makeSink(options);
    const int writers = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    CaptureQueue queue(*sink, writers, CaptureDepth);
    ProgressBar progress("record", static_cast<std::int64_t>(times.size()));
    progress.showRate("fps");
    progress.showSize([&sink] { return sink->bytesWritten(); });
    std::atomic<std::int64_t> presented{0};
    std::atomic<bool> failed{false}; // a write failed: the run is stopped, the failure reported after it
    InterruptHandler interruptHandler;
    interrupted.store(false);

    headless::HeadlessOptions run;
    run.device = options.range.device;
    run.multisample = options.range.multisample;
    run.threads = options.range.threads;
    run.renderWidth = options.plan.renderWidth;
    run.renderHeight = options.plan.renderHeight;
    run.keep = times;
    run.onFrame = [&](const d3d9::Frame& frame, std::int32_t elapsedMs) {
        if (!failed && !interrupted.load()) {
            captureWhenResolved(frame, elapsedMs, options.crop, queue, presented, failed);
            progress.update(presented);
        }
    };
    run.stopRequested = [&] { return failed || interrupted.load(); };
    const headless::HeadlessResult result = headless::runHeadless(run);
    progress.finish();
    queue.drain(); // throws a write's failure
    checkRunEnded(result, "record");
    sink->finish();
    const std::string where = outputPath(options);
    if (interrupted.load()) {
        std::fprintf(stderr, "demokit: record: interrupted; %s holds the %lld frames made\n", where.c_str(),
                     static_cast<long long>(presented.load()));
        return 130;
    }
    if (presented != static_cast<std::int64_t>(times.size())) {
        throw ToolError("record: " + std::to_string(presented.load()) + " of " + std::to_string(times.size()) +
                        " frames were presented");
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    reportWritten(options, presented, sink->bytesWritten(), seconds);
    return 0;
}

} // namespace

void addRecordCommand(CLI::App& tool, CommandRun& run)
{
    auto options = std::make_shared<RecordOptions>();
    CLI::App* command = addCommand(tool, "record", "The demo run headless: frames as PNG files or a video.", "");
    // The codecs are looked up in the libraries only when the help is shown.
    command->footer([] {
        std::string text = RecordDetails + describeCaptureProfiles() + "\nThe codecs in this build:\n" +
                           describeVideoCodecs();
        text.pop_back(); // the help adds the last line feed
        return text;
    });
    command->add_option("--at", options->at, "the one frame whose elapsed time is exactly MS")->type_name("MS");
    addRangeOptions(*command, options->range, "software (default) or gl (OpenGL through EGL, no display needed)");
    command->add_option("--fps", options->fps, "frames a second in the range, 1 to 240 (default 60)")
        ->type_name("N")
        ->check(CLI::Range(1, 240).description(""));
    command->add_option("--out", options->out, "a folder for PNG frames, or a video file: .mp4, .mkv or .webm")
        ->type_name("PATH");
    command->add_option("--scale", options->scale,
                        "render at N times the resolution, 1 to 4: the device draws the same picture with N x N "
                        "times the pixels")
        ->type_name("N")
        ->check(CLI::Range(1, 4).description(""));
    command->add_flag("--crop", options->crop,
                      "keep only the 1024 x 640 picture band (times N), without the black bars above and below");
    command->add_option_function<std::string>(
               "--size", [options](const std::string& size) { options->size = parseCaptureSize(size); },
               "the size kept, drawn at that size: WxH or " + captureSizeNames() +
                   " (the band's lines; with --crop the band alone, else the 4:3 frame around it)")
        ->type_name("SIZE");
    command->add_option("--for", options->profile, "everything set for " + captureProfileNames() + " (below)")
        ->type_name("PLACE");
    // Video settings: given only for a video file.
    VideoSettings& video = options->video;
    command->add_option("--codec", video.codec, "h264 (default; ffv1 for --lossless in .mkv), hevc, vp9, av1 or ffv1")->type_name("NAME");
    command->add_option("--crf", video.crf,
                        "constant rate factor, 0 to 63: lower is better and larger (default 18 for h264, 22 hevc, "
                        "32 vp9 and av1)")
        ->type_name("N")
        ->check(CLI::Range(0, 63).description(""));
    command->add_option("--preset", video.preset,
                        "the encoder's speed preset (x264 and x265: ultrafast to veryslow, default ultrafast / "
                        "fast; vp9, av1: a number)")
        ->type_name("NAME");
    command->add_option("--pix-fmt", video.pixelFormat, "yuv420p (default, plays everywhere) or yuv444p")
        ->type_name("FMT");
    command->add_flag("--lossless", video.lossless,
                      "decoded frames equal the PNG frames bit for bit: ffv1 in .mkv (the default for "
                      "--lossless), h264 (RGB), hevc or vp9");
    command->callback([options, command, &run] {
        const FlagGiven given = [command](const char* name) { return command->get_option(name)->count() > 0; };
        for (const char* name : {"--codec", "--crf", "--preset", "--pix-fmt", "--lossless"}) {
            options->codecGiven = options->codecGiven || given(name);
        }
        options->scaleGiven = given("--scale");
        if (!options->profile.empty()) {
            applyProfile(*options, given);
        }
        checkRecordOptions(*options);
        run = [options] { return runRecord(*options); };
    });
}
