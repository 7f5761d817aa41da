// demokit bench: runs the timeline (or a range of it) on the headless host
// as fast as the device goes, every frame's pixels computed, and reports
// start-up time and frame rates as text or as one JSON object.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <string>
#include <vector>

#include "capture_size.hpp"
#include "command_line.hpp"
#include "headless_run.hpp"
#include "json_output.hpp"
#include "progress_bar.hpp"
#include "subcommands.hpp"

namespace {

const char* const BenchDetails =
    "Runs the demo headless at 1024 x 768 (or --size), computing every frame of the\n"
    "range, and\n"
    "prints start-up time and frame rates (median, 1st and 99th percentile frame\n"
    "time), and the draws of a frame (median): those the program issued, those\n"
    "stopped by the device because none of their vertices can be seen, and\n"
    "those it drew. Frames before A run without pixel work.";

struct BenchOptions {
    RangeOptions range;
    bool json = false;
    std::string digests; // --digests FILE
    CapturePlan plan = planCapture(1, CaptureSize{}, false); // the size drawn at (--size)
};

// FNV-1a over the frame's pixels, byte by byte in memory order.
std::uint64_t hashPixels(const d3d9::Frame& frame)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    const std::size_t count = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
    const std::uint32_t* pixels = frame.pixels();
    for (std::size_t i = 0; i < count; ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            hash = (hash ^ ((pixels[i] >> shift) & 0xFFu)) * 0x100000001b3ull;
        }
    }
    return hash;
}

// The value below which a fraction p of the sorted values lie (nearest rank).
double percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty()) {
        return 0.0;
    }
    const double rank = p * static_cast<double>(sorted.size() - 1);
    return sorted[static_cast<std::size_t>(rank + 0.5)];
}

// Plain data: a child process hands it back through a pipe.
struct BenchFigures {
    std::size_t frames = 0;
    double startupMs = 0;
    double frameMsMedian = 0;
    double frameMsP1 = 0;
    double frameMsP99 = 0;
    double drawsIssued = 0; // a frame, median
    double drawsStopped = 0;
    double drawsSent = 0;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return percentile(values, 0.5);
}

BenchFigures summarise(const headless::HeadlessResult& result, const std::vector<d3d9::DrawCounts>& draws)
{
    std::vector<double> times;
    for (const headless::FrameTiming& frame : result.frames) {
        if (frame.rendered) {
            times.push_back(frame.wallMs);
        }
    }
    std::sort(times.begin(), times.end());
    BenchFigures figures;
    figures.frames = times.size();
    figures.startupMs = result.startupMs;
    figures.frameMsMedian = percentile(times, 0.5);
    figures.frameMsP1 = percentile(times, 0.01);
    figures.frameMsP99 = percentile(times, 0.99);
    std::vector<double> issued, stopped, sent;
    for (const d3d9::DrawCounts& d : draws) {
        issued.push_back(d.issued);
        stopped.push_back(d.stopped);
        sent.push_back(d.sent);
    }
    figures.drawsIssued = median(issued);
    figures.drawsStopped = median(stopped);
    figures.drawsSent = median(sent);
    return figures;
}

double fpsOf(const BenchFigures& f)
{
    return f.frameMsMedian > 0 ? 1000.0 / f.frameMsMedian : 0.0;
}

void printFigures(const BenchOptions& options, const std::string& device, const BenchFigures& f)
{
    std::printf("%s device, %dx%d, %s: %zu frames from %d to %d ms\n", device.c_str(), options.plan.renderWidth,
                options.plan.renderHeight, options.range.multisample ? "4 samples" : "no multisampling", f.frames,
                options.range.from, options.range.to);
    std::printf("start-up %.1f ms; %.1f fps median (frame %.2f ms; 1st percentile %.2f ms, 99th %.2f ms)\n",
                f.startupMs, fpsOf(f), f.frameMsMedian, f.frameMsP1, f.frameMsP99);
    std::printf("draws a frame (median): %.0f issued, %.0f stopped unseen, %.0f drawn\n",
                f.drawsIssued, f.drawsStopped, f.drawsSent);
}

Json figuresJson(const BenchOptions& options, const std::string& device, const BenchFigures& f)
{
    Json json;
    json["device"] = device;
    json["multisample"] = options.range.multisample;
    json["width"] = static_cast<std::int64_t>(options.plan.renderWidth);
    json["height"] = static_cast<std::int64_t>(options.plan.renderHeight);
    json["fromMs"] = static_cast<std::int64_t>(options.range.from);
    json["toMs"] = static_cast<std::int64_t>(options.range.to);
    json["frames"] = static_cast<std::int64_t>(f.frames);
    json["startupMs"] = static_cast<float>(f.startupMs);
    json["fpsMedian"] = static_cast<float>(fpsOf(f));
    json["frameMsMedian"] = static_cast<float>(f.frameMsMedian);
    json["frameMsP1"] = static_cast<float>(f.frameMsP1);
    json["frameMsP99"] = static_cast<float>(f.frameMsP99);
    json["draws"] = {{"issued", f.drawsIssued}, {"stopped", f.drawsStopped}, {"sent", f.drawsSent}};
    return json;
}

// One device's run of the range, here.
BenchFigures benchDevice(const BenchOptions& options, const std::string& device, const std::vector<std::int32_t>& times,
                         std::FILE* digests)
{
    ProgressBar progress("bench " + device, static_cast<std::int64_t>(times.size()));
    std::int64_t done = 0;
    headless::HeadlessOptions run;
    run.device = device;
    run.multisample = options.range.multisample;
    run.threads = options.range.threads;
    run.renderWidth = options.plan.renderWidth;
    run.renderHeight = options.plan.renderHeight;
    run.keep = times; // frames of the range get their pixel work, the others not
    std::vector<d3d9::DrawCounts> draws;
    draws.reserve(times.size());
    run.onFrame = [&](const d3d9::Frame& frame, std::int32_t elapsedMs) {
        if (frame.rendered) {
            draws.push_back(frame.draws);
        }
        if (digests != nullptr) {
            std::fprintf(digests, "%s %d %016llx\n", device.c_str(), elapsedMs,
                         static_cast<unsigned long long>(hashPixels(frame)));
        }
        progress.update(++done);
    };
    const headless::HeadlessResult result = headless::runHeadless(run);
    progress.finish();
    checkRunEnded(result, "bench");
    return summarise(result, draws);
}

#if !defined(_WIN32)
// The same in a child process, so that nothing one device leaves behind (a
// GL driver's threads, its memory) weighs on the next; the figures come
// back through a pipe. A failure in the child is reported there and
// becomes a ToolError here.
BenchFigures benchDeviceInChild(const BenchOptions& options, const std::string& device,
                                const std::vector<std::int32_t>& times, std::FILE* digests)
{
    int ends[2];
    if (::pipe(ends) != 0) {
        throw ToolError("bench: cannot make a pipe for the child process");
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        throw ToolError("bench: cannot start a child process");
    }
    if (child == 0) {
        ::close(ends[0]);
        int status = 0;
        try {
            const BenchFigures figures = benchDevice(options, device, times, digests);
            if (digests != nullptr) {
                std::fflush(digests);
            }
            status = ::write(ends[1], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures) ? 0 : 1;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            status = 1;
        }
        std::_Exit(status);
    }
    ::close(ends[1]);
    BenchFigures figures;
    const ssize_t got = ::read(ends[0], &figures, sizeof figures);
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (got != static_cast<ssize_t>(sizeof figures) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw ToolError("bench: the " + device + " device's run failed");
    }
    return figures;
}
#endif

int runBench(const BenchOptions& options)
{
    const std::vector<std::int32_t> times = headless::retraceTimes(options.range.from, options.range.to, 60);
    const std::vector<std::string> devices = deviceList(options.range);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> digests(nullptr, std::fclose);
    if (!options.digests.empty()) {
        digests.reset(std::fopen(options.digests.c_str(), "w"));
        if (digests == nullptr) {
            throw ToolError("bench: cannot write " + options.digests);
        }
    }
    std::vector<BenchFigures> figures;
    for (const std::string& device : devices) {
#if defined(_WIN32)
        figures.push_back(benchDevice(options, device, times, digests.get()));
#else
        figures.push_back(devices.size() > 1 ? benchDeviceInChild(options, device, times, digests.get())
                                             : benchDevice(options, device, times, digests.get()));
#endif
        if (!options.json) {
            printFigures(options, device, figures.back());
        }
    }
    const double ratio = devices.size() == 2 && fpsOf(figures[0]) > 0 ? fpsOf(figures[1]) / fpsOf(figures[0]) : 0.0;
    if (!options.json) {
        if (devices.size() == 2) {
            std::printf("fps ratio %s / %s: %.2f\n", devices[1].c_str(), devices[0].c_str(), ratio);
        }
        return 0;
    }
    if (devices.size() == 1) {
        writeJson(stdout, figuresJson(options, devices[0], figures[0]));
        return 0;
    }
    Json json;
    Json& runs = json["runs"] = Json::array();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        runs.push_back(figuresJson(options, devices[i], figures[i]));
    }
    json["fpsRatio"] = {{"of", devices[1]}, {"to", devices[0]}, {"ratio", static_cast<float>(ratio)}};
    writeJson(stdout, json);
    return 0;
}

} // namespace

void addBenchCommand(CLI::App& tool, CommandRun& run)
{
    auto options = std::make_shared<BenchOptions>();
    CLI::App* command = addCommand(tool, "bench", "Start-up time and frame rates of a headless run.", BenchDetails);
    addRangeOptions(*command, options->range,
                    "software (default), gl (OpenGL through EGL), null (draws nothing: the program alone), or two "
                    "as gl,software: each runs the same frames in a process of its own, then a line gives the "
                    "ratio of their median frame rates (second / first)");
    command->add_flag("--json", options->json,
                      "one JSON object instead of text (with two devices: both runs and the ratio)");
    command->add_option("--digests", options->digests,
                        "also write each measured frame's elapsed time and a 64-bit FNV-1a hash of its pixels, one "
                        "line a frame (equal files: equal pictures); costs time, so not for timing runs")
        ->type_name("FILE");
    command->add_option_function<std::string>(
               "--size",
               [options](const std::string& size) { options->plan = planCapture(1, parseCaptureSize(size), false); },
               "the size the device draws the whole frame at: " + captureSizeNames() +
                   " (the frame around that band) or WxH (drawn at the nearest size of the frame's shape that "
                   "covers it)")
        ->type_name("SIZE");
    command->callback([options, &run] {
        checkRangeOptions(options->range, "bench");
        run = [options] { return runBench(*options); };
    });
}
