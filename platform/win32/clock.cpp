#include "win32/clock.hpp"

#include <chrono>
#include <thread>

#include "windows.h"
#include "win32/api_trace.hpp"
#include "win32/call_line.hpp"

namespace win32 {
namespace {

class SteadyClock final : public Clock {
public:
    std::uint32_t milliseconds() override
    {
        const auto since = std::chrono::steady_clock::now() - origin_;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms)); // wraps like the real counter
    }

    void sleep(std::uint32_t milliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

private:
    std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
};

SteadyClock& steadyClock()
{
    static SteadyClock instance;
    return instance;
}

Clock* currentClock = nullptr;

Clock& activeClock()
{
    return currentClock != nullptr ? *currentClock : steadyClock();
}

} // namespace

std::uint32_t currentMilliseconds()
{
    return activeClock().milliseconds();
}

void setClock(Clock* newClock)
{
    currentClock = newClock;
}

} // namespace win32

extern "C" DWORD WINAPI timeGetTime()
{
    win32::ApiCall call("timeGetTime");
    return call.returns(win32::activeClock().milliseconds());
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds)
{
    win32::ApiCall call("Sleep", dwMilliseconds);
    win32::activeClock().sleep(dwMilliseconds);
    call.done();
}
