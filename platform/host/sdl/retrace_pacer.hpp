// Present on the display's retrace when the presenting path does not wait
// for it itself. The series of retraces is steady at the display's refresh
// rate (60 Hz when the display does not say), as a display's would be: a
// late frame waits for the retrace after it, never less.
//
// Some paths never wait (SDL's software renderer); others are asked to and
// may not (an OpenGL swap interval that the window system ignores, as on
// Xvfb): for those the pacer watches the intervals between presents and
// starts waiting itself once their median shows the swap does not.
#pragma once

#include <cstddef>

#include <SDL.h>

namespace sdlhost {

// Milliseconds a refresh of the display the window is on.
double refreshMs(SDL_Window* window);
// Milliseconds since a reading of SDL's performance counter.
double millisecondsSince(Uint64 start);

class RetracePacer {
public:
    // A pacer that never waits (waits false) is for measuring: frames go
    // out as fast as they are made.
    explicit RetracePacer(SDL_Window* window, bool waits = true) : window_(window), waits_(waits) {}

    // After a present that never waits for the retrace.
    void waitForRetrace();
    // After a present that was asked to wait; waits only once it is seen
    // not to.
    void afterWaitingPresent();

private:
    Uint64 period() const; // performance-counter ticks a refresh

    SDL_Window* window_;
    bool waits_ = true;
    Uint64 firstRetrace_ = 0; // the retraces kept to: this, then one a period
    Uint64 lastPresent_ = 0;
    Uint64 intervals_[16] = {}; // between the last presents, in counter ticks
    std::size_t seen_ = 0;      // intervals seen
    bool pacing_ = false;     // the waiting present was seen not to wait
};

} // namespace sdlhost
