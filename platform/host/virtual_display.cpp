#include "host/virtual_display.hpp"

#include <algorithm>

#include "host/program_modules.hpp"
#include "win32/window_system.hpp"

namespace host {
namespace {

double millisecondsBetween(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

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

namespace {

std::int64_t retraceTime(std::int64_t k, std::int32_t refreshRate)
{
    return k * 1000 / refreshRate;
}

// The first retrace at or after ms.
std::int64_t firstRetraceFrom(std::int32_t ms, std::int32_t refreshRate)
{
    std::int64_t k = static_cast<std::int64_t>(ms) * refreshRate / 1000;
    while (retraceTime(k, refreshRate) < ms) {
        ++k;
    }
    while (k > 0 && retraceTime(k - 1, refreshRate) >= ms) {
        --k;
    }
    return k;
}

} // namespace

bool isRetraceTime(std::int32_t ms, std::int32_t refreshRate)
{
    return ms >= 0 && retraceTime(firstRetraceFrom(ms, refreshRate), refreshRate) == ms;
}

std::int32_t nextRetraceAfter(std::int32_t ms, std::int32_t refreshRate)
{
    std::int64_t k = firstRetraceFrom(std::max(ms, 0), refreshRate);
    if (retraceTime(k, refreshRate) <= ms) {
        ++k;
    }
    return static_cast<std::int32_t>(retraceTime(k, refreshRate));
}

std::int32_t previousRetraceBefore(std::int32_t ms, std::int32_t refreshRate)
{
    const std::int64_t k = firstRetraceFrom(std::max(ms, 0), refreshRate);
    return k > 0 ? static_cast<std::int32_t>(retraceTime(k - 1, refreshRate)) : 0;
}

bool VirtualDisplay::wantsPixels()
{
    if (presents_ == 1 && !started_) {
        startedAt_ = WallClock::now(); // the first frame of the loop begins
        log_.startupMs = millisecondsBetween(runStart_, startedAt_);
        started_ = true;
    }
    return schedule_.renderEveryFrame ||
           (elapsed() >= 0 && nextKept_ < schedule_.keep.size() && schedule_.keep[nextKept_] == elapsed());
}

void VirtualDisplay::present(const d3d9::Frame& frame)
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

// The elapsed time of the frame being drawn: 0 for the loop's first (the
// clock has not moved since the start time), -1 before it.
std::int32_t VirtualDisplay::elapsed() const
{
    if (presents_ < 2) {
        return presents_ == 1 ? 0 : -1;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(now_ / 1000) - startMs_);
}

void VirtualDisplay::finishFrame(const d3d9::Frame& frame)
{
    if (frame.rendered) {
        frame.glFramebuffer(); // shown, as a display shows it: a GL device resolves its samples
    }
    const WallClock::time_point now = WallClock::now();
    const std::int32_t e = elapsed();
    log_.frames.push_back({e, millisecondsBetween(presents_ == 2 ? startedAt_ : lastPresent_, now), frame.rendered});
    lastPresent_ = now;
    if (nextKept_ < schedule_.keep.size() && schedule_.keep[nextKept_] == e) {
        if (schedule_.onFrame) {
            schedule_.onFrame(frame, e);
        }
        ++nextKept_;
    }
    if (schedule_.onProgress) {
        schedule_.onProgress(e);
    }
    // A wanted time already behind the clock can never come: stop then too.
    const bool missed = nextKept_ < schedule_.keep.size() && schedule_.keep[nextKept_] < e;
    const bool pastStop = missed ||
                          (schedule_.stopAfterMs >= 0 ? e >= schedule_.stopAfterMs : nextKept_ >= schedule_.keep.size()) ||
                          (schedule_.stopRequested && schedule_.stopRequested());
    if (pastStop && !escapeSent_) {
        const HWND window = FindWindowA(host::ProgramWindowClass, nullptr);
        win32::postInputMessage(window, WM_KEYDOWN, VK_ESCAPE, win32::keyMessageParameter(VK_ESCAPE, false));
        escapeSent_ = true;
    }
}

// To the next retrace, or to the next wanted time if that comes first.
void VirtualDisplay::advance()
{
    const std::uint64_t period = 1000000u / static_cast<std::uint64_t>(schedule_.refreshRate);
    if (presents_ < 2) {
        now_ = (now_ / period + 1) * period; // the start-up frame, before the phase is known
        return;
    }
    const std::uint64_t origin = static_cast<std::uint64_t>(startMs_) * 1000;
    // Retrace k lies at origin + floor(k * 1e6 / rate): the first after now.
    const std::uint64_t rate = static_cast<std::uint64_t>(schedule_.refreshRate);
    std::uint64_t frames = (now_ - origin) * rate / 1000000u;
    while (origin + frames * 1000000u / rate <= now_) {
        ++frames;
    }
    std::uint64_t next = origin + frames * 1000000u / rate;
    if (nextKept_ < schedule_.keep.size()) {
        const std::uint64_t wanted = origin + static_cast<std::uint64_t>(schedule_.keep[nextKept_]) * 1000;
        if (wanted > now_ && wanted < next) {
            next = wanted;
        }
    }
    now_ = next;
}

} // namespace host
