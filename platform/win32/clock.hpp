// The clock behind timeGetTime and Sleep, supplied by the host.
//
// timeGetTime is a 32-bit millisecond count that wraps after 2^32 ms, as on
// Windows; Sleep(ms) returns after at least ms milliseconds of that clock. A
// real host uses the steady clock of the machine (the default); a headless
// host installs a virtual clock that only moves when it is told to.
#pragma once

#include <cstdint>

namespace win32 {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary origin, wrapping at 2^32.
    virtual std::uint32_t milliseconds() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

// Installs clock (not owned); NULL puts the machine's steady clock back.
void setClock(Clock* clock);
// The installed clock's milliseconds, without a trace line (for time stamps).
std::uint32_t currentMilliseconds();

} // namespace win32
