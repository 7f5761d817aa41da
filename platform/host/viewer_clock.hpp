// The program's clock where a viewer watches it (its timeGetTime and Sleep,
// in the player and the page): the machine's steady milliseconds less every
// moment spent paused, or, while a run catches up with a time of the demo,
// a virtual display's.
#pragma once

#include <cstdint>
#include <functional>

#include "win32/clock.hpp"

namespace host {

// A pause holds the time the program last read, the time of the picture on
// the screen: every frame drawn while paused is that picture again.
class ViewerClock final : public win32::Clock {
public:
    using Now = std::function<std::uint64_t()>;          // steady milliseconds
    using Wait = std::function<void(std::uint32_t)>;      // a real sleep of so many milliseconds

    ViewerClock();
    // The machine's clock and sleep by default; a host's own (the page's,
    // which hands control to the browser while it sleeps).
    explicit ViewerClock(Now now, Wait wait = {}) : now_(std::move(now)), wait_(std::move(wait)) {}

    std::uint32_t milliseconds() override;
    void sleep(std::uint32_t milliseconds) override;

    void pause();
    void resume();
    bool paused() const { return paused_; }
    // Takes its time from source (a virtual display) until continueFrom,
    // which goes on in real time from ms.
    void follow(win32::Clock* source) { source_ = source; }
    bool following() const { return source_ != nullptr; }
    void continueFrom(std::uint32_t ms);
    // Sleeps return at once: a run being ended for a seek, whose frames
    // nobody sees, sleeps for nobody.
    void skipSleeps(bool skip) { skipSleeps_ = skip; }

private:
    Now now_;
    Wait wait_;
    win32::Clock* source_ = nullptr;
    std::uint64_t heldMs_ = 0;    // steady time less the clock's, from pauses
    std::uint64_t lastRead_ = 0;  // the clock's time when last read (not wrapped)
    bool read_ = false;           // read at all
    bool paused_ = false;         // the clock stands at lastRead_
    bool skipSleeps_ = false;
};

// The machine's steady clock in milliseconds, from the first call.
std::uint64_t steadyMilliseconds();

} // namespace host
