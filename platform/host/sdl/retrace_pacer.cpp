#include "host/sdl/retrace_pacer.hpp"

#include <algorithm>
#include <iterator>
#include <chrono>
#include <thread>

namespace sdlhost {
namespace {

// A swap that waits for the retrace presents a refresh apart or more, but
// for a short burst after a late frame: the median of the last intervals
// under nine tenths of a refresh tells one that does not.
constexpr std::size_t IntervalsKept = 16; // as RetracePacer::intervals_ holds

} // namespace

namespace {

int refreshHertz(SDL_Window* window)
{
    SDL_DisplayMode mode;
    return SDL_GetWindowDisplayMode(window, &mode) == 0 && mode.refresh_rate > 0 ? mode.refresh_rate : 60;
}

} // namespace

double refreshMs(SDL_Window* window)
{
    return 1000.0 / refreshHertz(window);
}

double millisecondsSince(Uint64 start)
{
    return static_cast<double>(SDL_GetPerformanceCounter() - start) * 1000.0 /
           static_cast<double>(SDL_GetPerformanceFrequency());
}

Uint64 RetracePacer::period() const
{
    return std::max<Uint64>(SDL_GetPerformanceFrequency() / static_cast<Uint64>(refreshHertz(window_)), 1);
}

void RetracePacer::waitForRetrace()
{
    if (!waits_) {
        return;
    }
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    const Uint64 refresh = period();
    const Uint64 now = SDL_GetPerformanceCounter();
    if (firstRetrace_ == 0 || now < firstRetrace_) {
        firstRetrace_ = now;
    }
    const Uint64 next = firstRetrace_ + ((now - firstRetrace_) / refresh + 1) * refresh;
    std::this_thread::sleep_for(std::chrono::nanoseconds((next - now) * 1000000000ull / frequency));
}

void RetracePacer::afterWaitingPresent()
{
    if (!waits_) {
        return;
    }
    if (pacing_) {
        waitForRetrace();
        return;
    }
    const Uint64 now = SDL_GetPerformanceCounter();
    if (lastPresent_ != 0) {
        intervals_[seen_++ % IntervalsKept] = now - lastPresent_;
    }
    lastPresent_ = now;
    if (seen_ >= IntervalsKept) {
        Uint64 sorted[IntervalsKept];
        std::copy(std::begin(intervals_), std::end(intervals_), sorted);
        std::nth_element(sorted, sorted + IntervalsKept / 2, sorted + IntervalsKept);
        pacing_ = sorted[IntervalsKept / 2] < period() * 9 / 10;
    }
}

} // namespace sdlhost
