#include "host/viewer_clock.hpp"

#include <chrono>
#include <thread>

namespace host {

std::uint64_t steadyMilliseconds()
{
    static const auto origin = std::chrono::steady_clock::now();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - origin).count());
}

ViewerClock::ViewerClock() : now_(steadyMilliseconds) {}

std::uint32_t ViewerClock::milliseconds()
{
    if (!paused_) {
        lastRead_ = source_ != nullptr ? source_->milliseconds() : now_() - heldMs_;
        read_ = true;
    }
    return static_cast<std::uint32_t>(lastRead_); // wraps like the real counter
}

void ViewerClock::sleep(std::uint32_t milliseconds)
{
    if (source_ != nullptr) {
        source_->sleep(milliseconds);
    } else if (skipSleeps_) {
        return;
    } else if (wait_) {
        wait_(milliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

void ViewerClock::continueFrom(std::uint32_t ms)
{
    source_ = nullptr;
    heldMs_ = now_() - ms; // modulo 2^64: now_() - heldMs_ is ms from here on
    lastRead_ = ms;
    read_ = true;
}

void ViewerClock::pause()
{
    if (!paused_) {
        if (!read_) {
            lastRead_ = source_ != nullptr ? source_->milliseconds() : now_() - heldMs_;
            read_ = true;
        }
        paused_ = true;
    }
}

void ViewerClock::resume()
{
    if (paused_) {
        heldMs_ = now_() - lastRead_; // on from the time it stood at
        paused_ = false;
    }
}

} // namespace host
