#include "host/sdl/retrace_pacer.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

namespace sdlhost {
namespace {

// Presents in a row at less than three quarters of a refresh apart that
// tell a swap does not wait for the retrace.
constexpr int QuickPresentsSeen = 6;

} // namespace

Uint64 RetracePacer::period() const
{
    SDL_DisplayMode mode;
    const int hertz = SDL_GetWindowDisplayMode(window_, &mode) == 0 && mode.refresh_rate > 0 ? mode.refresh_rate : 60;
    return std::max<Uint64>(SDL_GetPerformanceFrequency() / static_cast<Uint64>(hertz), 1);
}

void RetracePacer::waitForRetrace()
{
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
    if (pacing_) {
        waitForRetrace();
        return;
    }
    const Uint64 now = SDL_GetPerformanceCounter();
    const bool quick = lastPresent_ != 0 && now - lastPresent_ < period() * 3 / 4;
    quickPresents_ = quick ? quickPresents_ + 1 : 0;
    lastPresent_ = now;
    pacing_ = quickPresents_ >= QuickPresentsSeen;
}

} // namespace sdlhost
