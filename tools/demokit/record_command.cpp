// demokit record: runs the program's own WinMain on the headless host with
// the software device and keeps the frames asked for: one frame at an exact
// elapsed time as PNG, or a range at a frame rate as a PNG sequence or a
// video. The frames before the first kept one run at the display rate
// without pixel work, so the animation's history is the one a viewer saw.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "frame_output.hpp"
#include "headless_run.hpp"
#include "progress_bar.hpp"
#include "subcommands.hpp"

namespace {

const char* const RecordHelp =
    "usage: demokit record --at MS [--out FILE.png] [options]\n"
    "       demokit record [--from A] [--to B] [--fps N] --out DIR|FILE.mp4 [options]\n"
    "\n"
    "Runs the demo headless and writes the frames asked for.\n"
    "\n"
    "  --at MS           the one frame whose elapsed time is exactly MS (default file\n"
    "                    frame-MS.png)\n"
    "  --from A, --to B  the range of elapsed times (default the whole timeline,\n"
    "                    0 to 82000 ms)\n"
    "  --fps N           frames a second in the range (default 60)\n"
    "  --out PATH        a folder for PNG frames (frame_000000.png ...), or a file\n"
    "                    ending in .mp4 for a video (needs the ffmpeg program)\n"
    "  --size WxH        scale the output frames (default 1024x768)\n"
    "  --device NAME     software (default) or gl (OpenGL through EGL, no display\n"
    "                    needed)\n"
    "  --no-multisample  the device answers that it has no multisampling\n"
    "  --threads N       rasterizer threads (default one a core)\n";

struct RecordOptions {
    RangeOptions range;
    std::int32_t at = -1;    // --at
    std::int32_t fps = 60;
    std::string out;
    std::int32_t width = 0;  // 0: the frame's own
    std::int32_t height = 0;
};

void parseSize(const std::string& text, RecordOptions& options)
{
    const std::size_t x = text.find('x');
    if (x == std::string::npos) {
        throw UsageError("record: --size must be WxH, e.g. 640x480");
    }
    options.width = parseInt32(text.substr(0, x), "width");
    options.height = parseInt32(text.substr(x + 1), "height");
    if (options.width < 16 || options.height < 16 || options.width > 8192 || options.height > 8192) {
        throw UsageError("record: --size must be between 16x16 and 8192x8192");
    }
}

RecordOptions parseRecordOptions(Arguments& args)
{
    RecordOptions options;
    while (!args.empty()) {
        const std::string argument = args.take();
        if (takeRangeOption(argument, args, options.range, "record")) {
            continue;
        }
        if (argument == "--at") {
            options.at = parseInt32(args.takeValue(argument), "at");
        } else if (argument == "--fps") {
            options.fps = parseInt32(args.takeValue(argument), "fps");
            if (options.fps < 1 || options.fps > 1000) {
                throw UsageError("record: fps must be 1 to 1000");
            }
        } else if (argument == "--out") {
            options.out = args.takeValue(argument);
        } else if (argument == "--size") {
            parseSize(args.takeValue(argument), options);
        } else {
            throw UsageError("record: unknown argument '" + argument + "'");
        }
    }
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
    return options;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
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

std::unique_ptr<FrameSink> makeSink(const RecordOptions& options)
{
    if (options.at >= 0) {
        const std::string path = options.out.empty() ? "frame-" + std::to_string(options.at) + ".png" : options.out;
        return makePngSink(path, options.width, options.height);
    }
    if (endsWith(options.out, ".mp4")) {
        return makeVideoSink(options.out, options.fps, options.width, options.height);
    }
    return makePngSequenceSink(options.out, options.width, options.height);
}

} // namespace

int runRecordCommand(Arguments& args)
{
    if (args.asksForHelp()) {
        std::fputs(RecordHelp, stdout);
        return 0;
    }
    const RecordOptions options = parseRecordOptions(args);
    const std::vector<std::int32_t> times = frameTimes(options);
    std::unique_ptr<FrameSink> sink = makeSink(options);
    ProgressBar progress("record", static_cast<std::int64_t>(times.size()));
    std::int64_t written = 0;

    headless::HeadlessOptions run;
    run.device = options.range.device;
    run.multisample = options.range.multisample;
    run.threads = options.range.threads;
    run.keep = times;
    run.onFrame = [&](const d3d9::Frame& frame, std::int32_t elapsedMs) {
        sink->write(frame.pixels(), frame.width, frame.height, elapsedMs);
        progress.update(++written);
    };
    const headless::HeadlessResult result = headless::runHeadless(run);
    progress.finish();
    checkRunEnded(result, "record");
    sink->finish();
    if (written != static_cast<std::int64_t>(times.size())) {
        throw ToolError("record: " + std::to_string(written) + " of " + std::to_string(times.size()) +
                        " frames were presented");
    }
    const std::string where = options.out.empty() ? "frame-" + std::to_string(options.at) + ".png" : options.out;
    std::printf("wrote %lld frame%s to %s\n", static_cast<long long>(written), written == 1 ? "" : "s", where.c_str());
    return 0;
}
