#include "host/headless/headless_host.hpp"

#include <chrono>
#include <memory>

#include "gl/egl_context.hpp"
#include "host/backend_list.hpp"
#include "host/program_modules.hpp"
#include "win32/clock.hpp"
#include "win32/module_table.hpp"
#include "win32/window_system.hpp"

namespace headless {
namespace {

using WallClock = std::chrono::steady_clock;

double millisecondsBetween(WallClock::time_point a, WallClock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The virtual display and clock. Microseconds, so that every retrace of a
// whole-hertz display lands on an exact tick.
class VirtualDisplay final : public win32::Clock {
public:
    VirtualDisplay(const HeadlessOptions& options, HeadlessResult& result) : options_(options), result_(result) {}

    std::uint32_t milliseconds() override { return static_cast<std::uint32_t>(now_ / 1000); }
    void sleep(std::uint32_t ms) override { now_ += static_cast<std::uint64_t>(ms) * 1000; }

    bool wantsPixels()
    {
        if (presents_ == 1 && !started_) {
            startedAt_ = WallClock::now(); // the first frame of the loop begins
            result_.startupMs = millisecondsBetween(runStart_, startedAt_);
            started_ = true;
        }
        return options_.renderEveryFrame ||
               (elapsed() >= 0 && nextKept_ < options_.keep.size() && options_.keep[nextKept_] == elapsed());
    }

    void present(const d3d9::Frame& frame)
    {
        ++presents_;
        if (presents_ == 2) {
            startMs_ = milliseconds(); // the start time: the clock has not moved since it was taken
        }
        if (presents_ >= 2) {
            finishFrame(frame);
        }
        advance();
    }

    std::int32_t presents() const { return presents_; }

private:
    // The elapsed time of the frame being drawn: 0 for the loop's first
    // (the clock has not moved since the start time), -1 before it.
    std::int32_t elapsed() const
    {
        if (presents_ < 2) {
            return presents_ == 1 ? 0 : -1;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(now_ / 1000) - startMs_);
    }

    void finishFrame(const d3d9::Frame& frame)
    {
        const WallClock::time_point now = WallClock::now();
        const std::int32_t e = elapsed();
        result_.frames.push_back({e, millisecondsBetween(presents_ == 2 ? startedAt_ : lastPresent_, now), frame.rendered});
        lastPresent_ = now;
        if (nextKept_ < options_.keep.size() && options_.keep[nextKept_] == e) {
            if (options_.onFrame) {
                options_.onFrame(frame, e);
            }
            ++nextKept_;
        }
        if (options_.onProgress) {
            options_.onProgress(e);
        }
        // A wanted time already behind the clock can never come: stop then too.
        const bool missed = nextKept_ < options_.keep.size() && options_.keep[nextKept_] < e;
        const bool pastStop = missed ||
                              (options_.stopAfterMs >= 0 ? e >= options_.stopAfterMs : nextKept_ >= options_.keep.size()) ||
                              (options_.stopRequested && options_.stopRequested());
        if (pastStop && !escapeSent_) {
            const HWND window = FindWindowA("demo", nullptr);
            win32::postInputMessage(window, WM_KEYDOWN, VK_ESCAPE, win32::keyMessageParameter(VK_ESCAPE, false));
            escapeSent_ = true;
        }
    }

    // To the next retrace, or to the next wanted time if that comes first.
    void advance()
    {
        const std::uint64_t period = 1000000u / static_cast<std::uint64_t>(options_.refreshRate);
        if (presents_ < 2) {
            now_ = (now_ / period + 1) * period; // the start-up frame, before the phase is known
            return;
        }
        const std::uint64_t origin = static_cast<std::uint64_t>(startMs_) * 1000;
        // Retrace k lies at origin + floor(k * 1e6 / rate): the first after now.
        const std::uint64_t rate = static_cast<std::uint64_t>(options_.refreshRate);
        std::uint64_t frames = (now_ - origin) * rate / 1000000u;
        while (origin + frames * 1000000u / rate <= now_) {
            ++frames;
        }
        std::uint64_t next = origin + frames * 1000000u / rate;
        if (nextKept_ < options_.keep.size()) {
            const std::uint64_t wanted = origin + static_cast<std::uint64_t>(options_.keep[nextKept_]) * 1000;
            if (wanted > now_ && wanted < next) {
                next = wanted;
            }
        }
        now_ = next;
    }

    const HeadlessOptions& options_;
    HeadlessResult& result_;
    std::uint64_t now_ = 0;          // microseconds
    std::uint32_t startMs_ = 0;      // the program's start time
    std::int32_t presents_ = 0;
    std::size_t nextKept_ = 0;       // index into options_.keep
    bool escapeSent_ = false;
    bool started_ = false;
    WallClock::time_point runStart_ = WallClock::now();
    WallClock::time_point startedAt_ = runStart_;
    WallClock::time_point lastPresent_ = runStart_;
};

} // namespace

std::vector<std::int32_t> retraceTimes(std::int32_t first, std::int32_t last, std::int32_t refreshRate)
{
    std::vector<std::int32_t> times;
    for (std::int64_t k = 0;; ++k) {
        const std::int64_t t = k * 1000 / refreshRate;
        if (t > last) {
            break;
        }
        if (t >= first) {
            times.push_back(static_cast<std::int32_t>(t));
        }
    }
    return times;
}

HeadlessResult runHeadless(const HeadlessOptions& options)
{
    HeadlessResult result;
    const d3d9::BackendDescription* backend = host::findBackend(options.device);
    if (backend == nullptr) {
        result.deviceError = "no device named '" + options.device + "' (" + host::backendNames() + ")";
        result.exitCode = -1;
        return result;
    }
    std::unique_ptr<gl::EglContext> context;
    if (backend->needsGlContext) {
        context = gl::EglContext::create(result.deviceError);
        if (context == nullptr) {
            result.exitCode = -1;
            return result;
        }
    }
    VirtualDisplay display(options, result);
    d3d9::BackendOptions device;
    device.multisample = options.multisample;
    device.threads = options.threads;
    device.referenceShading = options.referenceShading;
    device.renderScale = options.renderScale;
    device.sink.onPresent = [&display](const d3d9::Frame& frame) { display.present(frame); };
    device.sink.wantsPixels = [&display] { return display.wantsPixels(); };
    host::installProgramModules(*backend, std::move(device), true);
    win32::setClock(&display);

    result.exitCode = WinMain(nullptr, nullptr, const_cast<LPSTR>(""), 1);
    result.framesPresented = display.presents();

    win32::setClock(nullptr);
    win32::resetWindowSystem();
    host::removeProgramModules();
    return result;
}

} // namespace headless
