#include "host/sdl/viewer_controls.hpp"

#include <algorithm>
#include <cstdio>

#include "host/program_modules.hpp"
#include "host/sdl/screenshot_file.hpp"
#include "host/virtual_display.hpp"
#include "win32/window_system.hpp"

namespace sdlhost {
namespace {

constexpr std::uint64_t LineShownMs = 2000; // how long a control key's line stays
constexpr std::int32_t DisplayRate = 60;    // the virtual display's, as `demokit record` runs it
const char* const Name = "demo";            // the window's title when there is nothing to say

double secondsBetween(std::uint64_t from, std::uint64_t to)
{
    return static_cast<double>(to - from) / 1000.0;
}

} // namespace

ControlKey controlKeyOf(const SDL_Keysym& key)
{
    switch (key.sym) {
    case SDLK_SPACE:
        return ControlKey::Pause;
    case SDLK_F11:
        return ControlKey::FullScreen;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return (key.mod & KMOD_ALT) != 0 ? ControlKey::FullScreen : ControlKey::None;
    case SDLK_F12:
        return ControlKey::Screenshot;
    case SDLK_RIGHT:
        return ControlKey::Forward;
    case SDLK_LEFT:
        return ControlKey::Back;
    case SDLK_PAGEUP:
        return ControlKey::FarForward;
    case SDLK_PAGEDOWN:
        return ControlKey::FarBack;
    case SDLK_HOME:
        return ControlKey::ToStart;
    case SDLK_PERIOD:
        return ControlKey::StepForward;
    case SDLK_COMMA:
        return ControlKey::StepBack;
    default:
        return ControlKey::None;
    }
}

std::int32_t seekTargetOf(ControlKey key, std::int32_t at)
{
    std::int64_t target = at;
    switch (key) {
    case ControlKey::Forward:
        target += 5000;
        break;
    case ControlKey::Back:
        target -= 5000;
        break;
    case ControlKey::FarForward:
        target += 30000;
        break;
    case ControlKey::FarBack:
        target -= 30000;
        break;
    case ControlKey::ToStart:
        target = 0;
        break;
    case ControlKey::StepForward:
        target = host::nextRetraceAfter(at, DisplayRate);
        break;
    case ControlKey::StepBack:
        target = host::previousRetraceBefore(at, DisplayRate);
        break;
    default:
        break;
    }
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(target, 0, host::TimelineEndMs));
}

std::string describeTime(std::int32_t ms, bool exact)
{
    char text[32];
    const double seconds = static_cast<double>(ms % 60000) / 1000.0;
    std::snprintf(text, sizeof text, exact ? "%d:%06.3f" : "%d:%04.1f", ms / 60000, seconds);
    return text;
}

ViewerControls::ViewerControls(Window window, Options options) : window_(std::move(window)), options_(options) {}

ViewerControls::~ViewerControls() = default;

void ViewerControls::startAt(std::int32_t elapsedMs, bool paused)
{
    presents_ = 0;
    onRetraces_ = false;
    lastFrame_ = {};
    clock_.skipSleeps(false);
    if (elapsedMs <= 0 && !paused) {
        catchUp_.reset();
        clock_.follow(nullptr); // in real time from the first frame
        return;
    }
    if (!seekBegan_) {
        seekBegan_ = steadyMilliseconds(); // a start time is a seek from nothing
    }
    catchUp_ = std::make_unique<host::CatchUp>(elapsedMs);
    pauseOnArrival_ = paused;
    onRetraces_ = true;
    clock_.follow(&catchUp_->clock());
}

void ViewerControls::beginNextRun()
{
    const Seek seek = restart_.value_or(Seek{});
    restart_.reset();
    startAt(seek.target, seek.paused);
}

bool ViewerControls::wantsPixels()
{
    if (restart_) {
        return false;
    }
    return catchUp_ == nullptr || catchUp_->reached() || catchUp_->wantsPixels();
}

bool ViewerControls::takeEvent(const SDL_Event& event)
{
    if (event.type == SDL_QUIT) {
        userEnds();
        return false;
    }
    if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP) {
        return false;
    }
    const SDL_KeyboardEvent& key = event.key;
    const ControlKey control = controlKeyOf(key.keysym);
    if (control == ControlKey::None) {
        if (key.type == SDL_KEYDOWN && key.keysym.sym == SDLK_ESCAPE) {
            userEnds();
        }
        return false;
    }
    if (key.type == SDL_KEYDOWN && key.repeat == 0) {
        act(control);
    }
    return true;
}

void ViewerControls::act(ControlKey control)
{
    switch (control) {
    case ControlKey::Pause:
        togglePause();
        break;
    case ControlKey::FullScreen:
        toggleFullScreen();
        break;
    case ControlKey::Screenshot:
        if (clock_.paused() && presents_ >= 2 && !restart_) {
            saveScreenshot(lastFrame_); // the picture on the screen, which stands
            showPictureAgain();
        } else {
            screenshotWanted_ = true;   // the frame shown next
        }
        break;
    case ControlKey::StepForward:
    case ControlKey::StepBack:
        if (pausedOrWillBe()) {
            seekTo(seekTargetOf(control, elapsedMs()), true);
        }
        break;
    default:
        seekTo(seekTargetOf(control, elapsedMs()), pausedOrWillBe());
        break;
    }
}

// Escape or a close request: the program ends by its own path, and no seek
// starts it again.
void ViewerControls::userEnds()
{
    ending_ = true;
    restart_.reset();
}

bool ViewerControls::pausedOrWillBe() const
{
    if (restart_) {
        return restart_->paused;
    }
    if (catchUp_ != nullptr && !catchUp_->reached()) {
        return pauseOnArrival_;
    }
    return clock_.paused();
}

void ViewerControls::togglePause()
{
    if (restart_) {
        restart_->paused = !restart_->paused; // said on arrival
    } else if (catchUp_ != nullptr && !catchUp_->reached()) {
        pauseOnArrival_ = !pauseOnArrival_;
    } else if (clock_.paused()) {
        clock_.resume();
        if (catchUp_ != nullptr) {
            clock_.continueFrom(lastPresentMs_); // off the virtual display, on in real time
            catchUp_.reset();
        }
        say("playing from " + describeTime(elapsedMs()));
    } else {
        clock_.pause();
        say("paused at " + describeTime(elapsedMs(), true));
        showPictureAgain();
    }
}

void ViewerControls::toggleFullScreen()
{
    const bool whole = (SDL_GetWindowFlags(window_.window) & SDL_WINDOW_FULLSCREEN) != 0;
    SDL_SetWindowFullscreen(window_.window, whole ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
}

void ViewerControls::seekTo(std::int32_t target, bool paused)
{
    if (ending_) {
        return;
    }
    seekBegan_ = steadyMilliseconds();
    line_ = "seeking to " + describeTime(target, paused);
    lineUntil_ = 0; // until it arrives
    showTitle();
    showPictureAgain();
    if (goOnForwardTo(target, paused)) {
        return;
    }
    // Start the run again: the program ends by its own path, at once, and
    // its last frames are neither drawn nor shown.
    restart_ = Seek{target, paused};
    catchUp_.reset();
    clock_.resume();
    clock_.continueFrom(lastPresentMs_);
    clock_.skipSleeps(true);
    const HWND program = FindWindowA(host::ProgramWindowClass, nullptr);
    if (program != nullptr) {
        win32::postInputMessage(program, WM_KEYDOWN, VK_ESCAPE, win32::keyMessageParameter(VK_ESCAPE, false));
    }
}

// A run that has shown only the virtual display's retrace frames holds
// exactly the state `record` has at its last frame: it may go on to a
// later time without starting again.
bool ViewerControls::goOnForwardTo(std::int32_t target, bool paused)
{
    if (restart_ || catchUp_ == nullptr || !onRetraces_ || !clock_.following() || !catchUp_->goOnTo(target)) {
        return false;
    }
    pauseOnArrival_ = paused;
    clock_.resume(); // the display's time again
    loopBegan_ = *seekBegan_;
    return true;
}

void ViewerControls::waitWhilePaused()
{
    const std::uint64_t began = steadyMilliseconds();
    struct Count {
        double& total;
        std::uint64_t began;
        ~Count() { total += static_cast<double>(steadyMilliseconds() - began); }
    } count{waitedMs_, began};
    while (clock_.paused() && !ending_ && !restart_) {
        SDL_Event event;
        // A line in the title goes after its while; nothing else wakes the
        // thread but an event.
        const std::uint64_t now = steadyMilliseconds();
        const int waited = lineUntil_ == 0 ? SDL_WaitEvent(&event)
                                           : SDL_WaitEventTimeout(&event, static_cast<int>(lineUntil_ > now ? lineUntil_ - now : 0));
        if (waited == 0) {
            if (lineUntil_ == 0) {
                return; // SDL could not wait
            }
            expireLine();
            showPictureAgain();
            continue;
        }
        if (!takeEvent(event)) {
            window_.deliver(event);
        }
        const bool fullScreenKey = event.type == SDL_KEYDOWN && controlKeyOf(event.key.keysym) == ControlKey::FullScreen;
        const bool exposed = event.type == SDL_WINDOWEVENT && (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                                                               event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED);
        if (fullScreenKey || exposed) {
            return; // the picture again, at the window's size
        }
    }
}

bool ViewerControls::framePresented(const d3d9::Frame& frame)
{
    waitedMs_ = 0.0;
    ++presents_;
    if (restart_) {
        return false; // the run ends for a seek
    }
    lastPresentMs_ = clock_.milliseconds(); // the time the frame was drawn at
    if (presents_ == 2) {
        startMs_ = lastPresentMs_; // the program's first frame (the first Present is its blank start-up one)
        loopBegan_ = steadyMilliseconds();
    }
    if (presents_ >= 2 && !(clock_.following() && host::isRetraceTime(elapsedMs(), DisplayRate))) {
        onRetraces_ = false;
    }
    if (catchUp_ != nullptr && !catchUp_->reached()) {
        if (!catchUp_->present(frame)) {
            return false;
        }
        arrive();
    } else if (presents_ == 2 && seekBegan_) {
        arrive(); // a seek to the start, unpaused: the run's first frame is the one
    }
    lastFrame_ = frame;
    if (screenshotWanted_ && presents_ >= 2) {
        screenshotWanted_ = false;
        saveScreenshot(frame);
    }
    expireLine();
    if (options_.loop && catchUp_ == nullptr && elapsedMs() >= host::TimelineEndMs) {
        seekTo(0, false); // this frame is still shown
    }
    return true;
}

// The frame at the time sought is on the screen.
void ViewerControls::arrive()
{
    if (options_.stats && seekBegan_) {
        const std::uint64_t now = steadyMilliseconds();
        const std::size_t frames = catchUp_ != nullptr ? catchUp_->framesRun() : 0;
        std::fprintf(stderr,
                     "demo: at %s in %.2f s: %.2f s to start the program's run (ending the last one), %.2f s for %zu "
                     "frames without pixel work\n",
                     describeTime(elapsedMs(), true).c_str(), secondsBetween(*seekBegan_, now),
                     secondsBetween(*seekBegan_, loopBegan_), secondsBetween(loopBegan_, now), frames);
    }
    seekBegan_.reset();
    line_.clear();
    lineUntil_ = 0;
    if (catchUp_ == nullptr) {
        say("playing from " + describeTime(elapsedMs()));
        return;
    }
    if (pauseOnArrival_) {
        clock_.pause(); // on the display still, for a frame step
        say("paused at " + describeTime(elapsedMs(), true));
    } else {
        clock_.continueFrom(lastPresentMs_);
        catchUp_.reset();
        say("playing from " + describeTime(elapsedMs()));
    }
}

std::int32_t ViewerControls::elapsedMs() const
{
    if (restart_) {
        return restart_->target;
    }
    if (catchUp_ != nullptr && !catchUp_->reached()) {
        return catchUp_->target();
    }
    return presents_ >= 2 ? static_cast<std::int32_t>(lastPresentMs_ - startMs_) : 0;
}

void ViewerControls::saveScreenshot(const d3d9::Frame& frame)
{
    const std::string path = screenshotPath(elapsedMs());
    if (writeScreenshot(path, frame.pixels(), frame.width, frame.height)) {
        std::fprintf(stderr, "demo: saved the picture at %s (%d x %d) as %s\n", describeTime(elapsedMs(), true).c_str(),
                     frame.width, frame.height, path.c_str());
        say("picture saved as " + path);
    } else {
        std::fprintf(stderr, "demo: could not save the picture as %s\n", path.c_str());
        say("could not save the picture");
    }
}

// A line for the title and the picture, shown for a while.
void ViewerControls::say(const std::string& line)
{
    line_ = line;
    lineUntil_ = steadyMilliseconds() + LineShownMs;
    showTitle();
}

void ViewerControls::expireLine()
{
    if (lineUntil_ != 0 && steadyMilliseconds() >= lineUntil_) {
        lineUntil_ = 0;
        line_.clear();
        showTitle();
    }
}

// "demo", "demo - paused at 0:40.840", or what a control key just did.
void ViewerControls::showTitle()
{
    std::string title = Name;
    if (!line_.empty()) {
        title += " - " + line_;
    } else if (clock_.paused() && !restart_) {
        title += " - paused at " + describeTime(elapsedMs(), true);
    }
    SDL_SetWindowTitle(window_.window, title.c_str());
}

// The program draws nothing while the picture stands: the player shows its
// last frame again, with the notice as it now is.
void ViewerControls::showPictureAgain()
{
    if (window_.showAgain && presents_ >= 2 && !restart_) {
        window_.showAgain();
    }
}

} // namespace sdlhost
