#include "host/sdl/frame_stats.hpp"

#include <algorithm>
#include <ctime>

namespace sdlhost {
namespace {

double clockMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

} // namespace

FrameStats::FrameStats()
    : lastWallMs_(clockMs(CLOCK_MONOTONIC)),
      startThreadCpuMs_(clockMs(CLOCK_THREAD_CPUTIME_ID)),
      startProcessCpuMs_(clockMs(CLOCK_PROCESS_CPUTIME_ID))
{
}

bool FrameStats::markFrame(std::int32_t width, std::int32_t height)
{
    const bool newSize = sizes_.empty() || sizes_.back().width != width || sizes_.back().height != height;
    if (newSize) {
        sizes_.push_back({width, height, 0});
    }
    ++sizes_.back().frames;
    const double wall = clockMs(CLOCK_MONOTONIC);
    endThreadCpuMs_ = clockMs(CLOCK_THREAD_CPUTIME_ID);
    endProcessCpuMs_ = clockMs(CLOCK_PROCESS_CPUTIME_ID);
    if (frameMs_.empty() && firstWallMs_ == 0.0) {
        // The start-up frame: figures count from here.
        firstWallMs_ = wall;
        firstThreadCpuMs_ = endThreadCpuMs_;
        firstProcessCpuMs_ = endProcessCpuMs_;
    } else {
        frameMs_.push_back(wall - lastWallMs_);
    }
    lastWallMs_ = wall;
    endWallMs_ = wall;
    return newSize;
}

void FrameStats::print(std::FILE* out) const
{
    const double frames = static_cast<double>(frameMs_.size());
    if (frameMs_.empty()) {
        std::fprintf(out, "demo: no frames after start-up\n");
        return;
    }
    const double median = percentile(frameMs_, 0.5);
    std::fprintf(out,
                 "demo: %zu frames in %.2f s, %.1f fps median (frame %.2f ms, 1st percentile %.2f ms, 99th %.2f ms)\n",
                 frameMs_.size(), (endWallMs_ - firstWallMs_) / 1000.0, median > 0.0 ? 1000.0 / median : 0.0, median,
                 percentile(frameMs_, 0.01), percentile(frameMs_, 0.99));
    std::fprintf(out, "demo: CPU a frame: %.2f ms on the program's thread (system and device calls), %.2f ms in all threads\n",
                 (endThreadCpuMs_ - firstThreadCpuMs_) / frames, (endProcessCpuMs_ - firstProcessCpuMs_) / frames);
    std::fprintf(out, "demo: start-up %.0f ms of CPU on the program's thread\n", firstThreadCpuMs_ - startThreadCpuMs_);
    std::fprintf(out, "demo: drawn at");
    for (std::size_t i = 0; i < sizes_.size(); ++i) {
        std::fprintf(out, "%s %d x %d (%zu frames)", i == 0 ? "" : ", then", sizes_[i].width, sizes_[i].height,
                     sizes_[i].frames);
    }
    std::fprintf(out, "\n");
}

} // namespace sdlhost
