// The viewer's controls, held by the player and never seen by the program:
// Space pauses and resumes, Alt+Enter and F11 switch between the whole
// screen and a window, F12 saves the picture as drawn as a PNG file; a run
// may begin at a time of the demo (startAt), paused or not. The
// program's clock (timeGetTime) is the player's: it stands still while the
// player is paused, and the program's thread then waits in its message
// pump for the next event, so a paused player uses no processor, and the
// picture stands. The program draws again, at the time it stands at, only
// when the window needs its picture again (shown, resized, full screen).
//
// Entry points: controlKeyOf, ViewerClock, ViewerControls. Times in
// milliseconds of the machine's steady clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <SDL.h>

#include "d3d9/backend.hpp"
#include "win32/clock.hpp"

namespace sdlhost {

enum class ControlKey { None, Pause, FullScreen, Screenshot };

// The control a key press asks for: Space, Alt+Enter or F11, F12; None for
// the keys the program gets.
ControlKey controlKeyOf(const SDL_Keysym& key);

// The machine's steady milliseconds, less every moment spent paused. A
// pause holds the time the program last read, the time of the picture on
// the screen: every frame drawn while paused is that picture again.
class ViewerClock final : public win32::Clock {
public:
    using Now = std::function<std::uint64_t()>; // steady milliseconds

    ViewerClock();
    explicit ViewerClock(Now now) : now_(std::move(now)) {}

    std::uint32_t milliseconds() override;
    void sleep(std::uint32_t milliseconds) override;

    void pause();
    void resume();
    bool paused() const { return paused_; }
    // Takes its time from source (a virtual display) until continueFrom,
    // which goes on in real time from ms.
    void follow(win32::Clock* source) { source_ = source; }
    void continueFrom(std::uint32_t ms);

private:
    Now now_;
    win32::Clock* source_ = nullptr;
    std::uint64_t heldMs_ = 0;    // steady time less the clock's, from pauses
    std::uint64_t lastRead_ = 0;  // the clock's time when last read (not wrapped)
    bool read_ = false;           // read at all
    bool paused_ = false;         // the clock stands at lastRead_
};

// Where a screenshot goes: the user's pictures folder (XDG_PICTURES_DIR,
// from the environment or user-dirs.dirs, else ~/Pictures) where it
// exists, else the working folder; named for the demo's time, never over
// another file.
std::string screenshotPath(std::int32_t elapsedMs);

class ViewerControls {
public:
    struct Window {
        SDL_Window* window = nullptr;
        // Hands an event the controls do not take to the program.
        std::function<void(const SDL_Event&)> deliver;
    };

    explicit ViewerControls(Window window);
    ~ViewerControls();

    ViewerClock& clock() { return clock_; }
    // Runs the program's frames before elapsedMs at once, on the 60 Hz
    // retraces and frame times `demokit record` runs them on and without
    // their pixel work, then goes on in real time from the frame at exactly
    // that time: the state `record --at` reaches. Paused there if asked.
    // Call before the program runs.
    void startAt(std::int32_t elapsedMs, bool paused);
    // Whether the frame being drawn is wanted: not those run through on the
    // way to the start time.
    bool wantsPixels();
    // Takes a key event that is a control (both its press and its release);
    // false for the keys the program gets.
    bool takeKey(const SDL_KeyboardEvent& key);
    // While paused, waits for events and handles them; returns when the
    // program must draw a frame (the picture is needed again, the pause
    // ended, or the program is to end).
    void waitWhilePaused();
    // At every Present: the program's start (for its time), the screenshot
    // asked for, the title. False for a frame run through on the way to the
    // start time, which is not to be shown.
    bool framePresented(const d3d9::Frame& frame);
    // The program's time as it last drew: elapsed milliseconds since its
    // first frame, near enough for a title or a file name.
    std::int32_t elapsedMs() const;
    // How long the program's thread waited paused since the last Present
    // (a frame's own time leaves it out).
    double waitedMs() const { return waitedMs_; }

private:
    void togglePause();
    void toggleFullScreen();
    void say(const std::string& line);
    void showTitle();
    void saveScreenshot(const d3d9::Frame& frame);

    struct CatchUp; // the virtual display the first frames run on

    Window window_;
    ViewerClock clock_;
    std::unique_ptr<CatchUp> catchUp_;
    std::int32_t presents_ = 0;
    std::uint32_t startMs_ = 0;       // the clock as the program drew its first frame
    std::uint32_t lastPresentMs_ = 0; // the clock at the last Present
    d3d9::Frame lastFrame_;           // the last presented; readable while no other is drawn
    bool screenshotWanted_ = false;
    bool ending_ = false;             // told to end while paused: wait no more
    double waitedMs_ = 0.0;           // paused since the last Present
    std::string line_;                // what the title says beside the name, for a while
    std::uint64_t lineUntil_ = 0;     // steady ms
};

} // namespace sdlhost
