// The viewer's controls, held by the player and never seen by the program:
// Space pauses and resumes, Alt+Enter and F11 switch between the whole
// screen and a window, F12 saves the picture as drawn as a PNG file, the
// arrows, Page Up and Down and Home seek, `.` and `,` step a frame while
// paused; a run may begin at a time of the demo, paused or not, and may
// start again when the timeline ends (loop).
//
// The program's clock (timeGetTime) is the player's (ViewerClock): it
// stands still while the player is paused, and the program's thread then
// waits in its message pump for the next event, so a paused player uses no
// processor, and the picture stands. The program draws again, at the time
// it stands at, only when the window needs its picture again.
//
// A seek is exact: it lands on the state `demokit record --at T` reaches.
// The program's state only moves forward (a channel that has ended keeps
// the value of its last frame before the end), so a seek ends the
// program's run (Escape through its message queue, its own way out) and
// runs it again, its frames up to T on the virtual display `record` uses,
// without pixel work. Only a run that has shown nothing but that display's
// retrace frames goes on forward without starting again (a frame step
// after a seek to a retrace time, say).
//
// Entry points: controlKeyOf, seekTargetOf, ViewerControls. Times in
// milliseconds of the demo unless said otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <SDL.h>

#include "d3d9/backend.hpp"
#include "host/catch_up.hpp"
#include "host/viewer_clock.hpp"

namespace sdlhost {

using host::ViewerClock;
using host::steadyMilliseconds;

enum class ControlKey {
    None,
    Pause,       // Space
    FullScreen,  // Alt+Enter, F11
    Screenshot,  // F12
    Forward,     // Right: 5 s on
    Back,        // Left: 5 s back
    FarForward,  // Page Up: 30 s on
    FarBack,     // Page Down: 30 s back
    ToStart,     // Home
    StepForward, // `.` while paused: the next frame of a 60 Hz display
    StepBack,    // `,` while paused: the frame before
};

// The control a key press asks for; None for the keys the program gets.
ControlKey controlKeyOf(const SDL_Keysym& key);

// Where a seek or step key goes from the time `at`, within the timeline;
// `at` itself for the other keys.
std::int32_t seekTargetOf(ControlKey key, std::int32_t at);

// "1:20.0", or to the millisecond "0:40.840".
std::string describeTime(std::int32_t ms, bool exact = false);

class ViewerControls {
public:
    struct Window {
        SDL_Window* window = nullptr;
        // Hands an event the controls do not take to the program.
        std::function<void(const SDL_Event&)> deliver;
        // Shows the picture on the screen again, with the notice as it now
        // is (while it stands: paused, or a seek under way).
        std::function<void()> showAgain;
    };
    struct Options {
        bool loop = false;  // start again at the timeline's end
        bool stats = false; // each seek's time on stderr
    };

    ViewerControls(Window window, Options options);
    ~ViewerControls();

    ViewerClock& clock() { return clock_; }

    // Before the first run: begin it at elapsedMs, paused there if asked.
    void startAt(std::int32_t elapsedMs, bool paused);
    // After a run ended: whether it ended for a seek, so that the program
    // must run again; beginNextRun prepares that run.
    bool restartWanted() const { return restart_.has_value(); }
    void beginNextRun();

    // Whether the frame being drawn is wanted: not those run through on
    // the way to a time, nor those of a run being ended.
    bool wantsPixels();
    // Takes an event that is a control (a control key's press and release);
    // false for those the program gets. Notes Escape and a close request,
    // which end the run whatever a seek wanted.
    bool takeEvent(const SDL_Event& event);
    // While paused, waits for events and handles them; returns when the
    // program must draw a frame (the picture is needed again, the pause
    // ended, a seek began, or the program is to end).
    void waitWhilePaused();
    // At every Present: the run's start (for its time), the seek's
    // progress, the screenshot asked for, the title, the loop. False for a
    // frame that is not to be shown.
    bool framePresented(const d3d9::Frame& frame);
    // The time of the picture on the screen (or sought, during a seek):
    // elapsed milliseconds since the program's first frame.
    std::int32_t elapsedMs() const;
    // How long the program's thread waited paused since the last Present
    // (a frame's own time leaves it out).
    double waitedMs() const { return waitedMs_; }
    // The line over the picture: what a control key just did, for two
    // seconds (the window's title says it too, and "paused at" while
    // paused); empty when there is nothing to say.
    const std::string& notice() const { return line_; }

private:
    struct Seek {
        std::int32_t target = 0;
        bool paused = false;
    };

    void act(ControlKey control);
    void userEnds();
    void togglePause();
    void toggleFullScreen();
    void seekTo(std::int32_t target, bool paused);
    bool goOnForwardTo(std::int32_t target, bool paused);
    void arrive();
    bool pausedOrWillBe() const;
    void say(const std::string& line);
    void expireLine();
    void showTitle();
    void showPictureAgain();
    void saveScreenshot(const d3d9::Frame& frame);

    Window window_;
    Options options_;
    ViewerClock clock_;
    std::unique_ptr<host::CatchUp> catchUp_; // on the way to a time, or paused there on its display
    bool pauseOnArrival_ = false;            // paused once the catch-up reaches its time
    std::optional<Seek> restart_;     // the run is ending for this seek
    // Of the run going on.
    std::int32_t presents_ = 0;
    std::uint32_t startMs_ = 0;       // the clock as the program drew its first frame
    std::uint32_t lastPresentMs_ = 0; // the clock at the last Present
    bool onRetraces_ = false;         // every frame shown so far was a virtual display's retrace
    d3d9::Frame lastFrame_;           // the last presented; readable while no other is drawn
    // A seek's measures (steady milliseconds).
    std::optional<std::uint64_t> seekBegan_;
    std::uint64_t loopBegan_ = 0;     // the run's first frame
    bool screenshotWanted_ = false;
    bool ending_ = false;             // told to end: wait no more, start no run again
    double waitedMs_ = 0.0;           // paused since the last Present
    std::string line_;                // what a control key did, shown for a while
    std::uint64_t lineUntil_ = 0;     // steady ms; 0 while a seek goes on
};

} // namespace sdlhost
