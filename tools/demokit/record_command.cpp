// demokit record: runs the program's own WinMain on the headless host with
// the software device and keeps the frames asked for: one frame at an exact
// elapsed time as PNG, or a range at a frame rate as a PNG sequence or a
// video. The frames before the first kept one run at the display rate
// without pixel work, so the animation's history is the one a viewer saw.
// Frames are written by other threads while the next ones render; Ctrl+C
// ends the run early and completes the output with the frames made.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "capture_queue.hpp"
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
    "The codecs in this build:\n";

struct RecordOptions {
    RangeOptions range;
    std::int32_t at = -1;    // --at
    std::int32_t fps = 60;
    std::string out;
    std::int32_t width = 0;  // 0: the frame's own
    std::int32_t height = 0;
    std::int32_t scale = 1;
    bool crop = false;
    bool codecGiven = false; // any of the video options
    VideoSettings video;
};

// Whole decimal number of a --size side; false for anything else.
bool parseSide(std::string_view text, int& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

void parseSize(const std::string& text, RecordOptions& options)
{
    const std::size_t x = text.find('x');
    int width = 0;
    int height = 0;
    if (x == std::string::npos || !parseSide(std::string_view(text).substr(0, x), width) ||
        !parseSide(std::string_view(text).substr(x + 1), height)) {
        throw UsageError("record: --size must be WxH, e.g. 640x480");
    }
    if (width < 16 || height < 16 || width > 8192 || height > 8192) {
        throw UsageError("record: --size must be between 16x16 and 8192x8192");
    }
    options.width = width;
    options.height = height;
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
    if (options.video.lossless && options.width != 0) {
        throw UsageError("record: --lossless keeps the frames as rendered; leave --size out");
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
    if (options.at >= 0) {
        return makePngSink(outputPath(options), options.width, options.height);
    }
    if (isVideoPath(options.out)) {
        return makeVideoSink(options.out, options.video, options.width, options.height);
    }
    return makePngSequenceSink(options.out, options.width, options.height);
}

// The picture band without the letterbox bars: the 16:10 rows centred in the
// frame (1024 x 640 of 1024 x 768, times the render scale).
CropRect pictureBand(int width, int height)
{
    const int bandHeight = width * 10 / 16;
    return bandHeight < height ? CropRect{0, (height - bandHeight) / 2, width, bandHeight} : CropRect{};
}

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
    CaptureQueue queue(*sink, writers, 4);
    ProgressBar progress("record", static_cast<std::int64_t>(times.size()));
    progress.showRate("fps");
    std::atomic<std::int64_t> presented{0};
    std::atomic<bool> failed{false}; // a write failed: the run is stopped, the failure reported after it
    InterruptHandler interruptHandler;
    interrupted.store(false);

    headless::HeadlessOptions run;
    run.device = options.range.device;
    run.multisample = options.range.multisample;
    run.threads = options.range.threads;
    run.renderScale = options.scale;
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
    std::printf("wrote %lld frame%s to %s in %.1f s", static_cast<long long>(presented), presented == 1 ? "" : "s",
                where.c_str(), seconds);
    if (presented > 1 && seconds > 0.0) {
        std::printf(" (%.0f frames a second)", static_cast<double>(presented) / seconds);
    }
    std::printf("\n");
    return 0;
}

} // namespace

void addRecordCommand(CLI::App& tool, CommandRun& run)
{
    auto options = std::make_shared<RecordOptions>();
    CLI::App* command = addCommand(tool, "record", "The demo run headless: frames as PNG files or a video.", "");
    // The codecs are looked up in the libraries only when the help is shown.
    command->footer([] {
        std::string text = RecordDetails + describeVideoCodecs();
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
               "--size", [options](const std::string& size) { parseSize(size, *options); },
               "resize the finished frames (area averaging)")
        ->type_name("WxH");
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
        for (const char* name : {"--codec", "--crf", "--preset", "--pix-fmt", "--lossless"}) {
            options->codecGiven = options->codecGiven || command->get_option(name)->count() > 0;
        }
        checkRecordOptions(*options);
        run = [options] { return runRecord(*options); };
    });
}
