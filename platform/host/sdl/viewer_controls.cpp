#include "host/sdl/viewer_controls.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <thread>
#include <vector>

#include <png.h>

#include "host/virtual_display.hpp"

namespace sdlhost {
namespace {

constexpr std::uint64_t LineShownMs = 2000; // how long the title keeps what a control key did
const char* const Name = "demo";            // the window's title when there is nothing to say

std::uint64_t steadyMilliseconds()
{
    static const auto origin = std::chrono::steady_clock::now();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - origin).count());
}

// "0:40.8"
std::string describeTime(std::int32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d:%04.1f", ms / 60000, static_cast<double>(ms % 60000) / 1000.0);
    return text;
}

// XDG_PICTURES_DIR from user-dirs.dirs ("$HOME/Pictures" as the file
// writes it), or empty.
std::string picturesFolderFromUserDirs(const std::string& home)
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string file = (config != nullptr && config[0] != '\0' ? std::string(config) : home + "/.config") +
                             "/user-dirs.dirs";
    std::ifstream in(file);
    const std::string key = "XDG_PICTURES_DIR=";
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, key.size(), key) != 0) {
            continue;
        }
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.compare(0, 5, "$HOME") == 0) {
            value = home + value.substr(5);
        }
        return value;
    }
    return "";
}

std::string picturesFolder()
{
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        return ".";
    }
    std::string folder = picturesFolderFromUserDirs(home);
    if (folder.empty()) {
        folder = std::string(home) + "/Pictures";
    }
    std::error_code error;
    return std::filesystem::is_directory(folder, error) ? folder : ".";
}

// A8R8G8B8 words, row 0 on top, as an RGB PNG; false when it cannot be written.
bool writePicture(const std::string& path, const std::uint32_t* pixels, std::int32_t width, std::int32_t height)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (std::size_t k = 0; k < rgb.size() / 3; ++k) {
        rgb[k * 3 + 0] = static_cast<std::uint8_t>(pixels[k] >> 16);
        rgb[k * 3 + 1] = static_cast<std::uint8_t>(pixels[k] >> 8);
        rgb[k * 3 + 2] = static_cast<std::uint8_t>(pixels[k]);
    }
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    const int written = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
    png_image_free(&image);
    return written != 0;
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
    default:
        return ControlKey::None;
    }
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
            lastRead_ = now_() - heldMs_;
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

std::string screenshotPath(std::int32_t elapsedMs)
{
    const std::filesystem::path folder = picturesFolder();
    const std::string stem = "demo-" + std::to_string(elapsedMs) + "ms";
    std::filesystem::path path = folder / (stem + ".png");
    std::error_code error;
    for (int copy = 2; std::filesystem::exists(path, error); ++copy) {
        path = folder / (stem + "-" + std::to_string(copy) + ".png");
    }
    return path.string();
}

struct ViewerControls::CatchUp {
    host::DisplaySchedule schedule;
    host::DisplayLog log;
    std::unique_ptr<host::VirtualDisplay> display;
    bool reached = false;    // the frame at the start time was presented
    bool pauseThere = false;
};

ViewerControls::ViewerControls(Window window) : window_(std::move(window)) {}

ViewerControls::~ViewerControls() = default;

void ViewerControls::startAt(std::int32_t elapsedMs, bool paused)
{
    catchUp_ = std::make_unique<CatchUp>();
    CatchUp& catchUp = *catchUp_;
    catchUp.schedule.keep = {elapsedMs};
    catchUp.schedule.stopAfterMs = std::numeric_limits<std::int32_t>::max(); // never Escape: the run goes on
    catchUp.schedule.onFrame = [&catchUp](const d3d9::Frame&, std::int32_t) { catchUp.reached = true; };
    catchUp.pauseThere = paused;
    catchUp.display = std::make_unique<host::VirtualDisplay>(catchUp.schedule, catchUp.log);
    clock_.follow(catchUp.display.get());
}

bool ViewerControls::wantsPixels()
{
    return catchUp_ == nullptr || catchUp_->display->wantsPixels();
}

bool ViewerControls::takeKey(const SDL_KeyboardEvent& key)
{
    const ControlKey control = controlKeyOf(key.keysym);
    if (control == ControlKey::None) {
        return false;
    }
    if (key.type == SDL_KEYDOWN && key.repeat == 0) {
        if (control == ControlKey::Pause) {
            togglePause();
        } else if (control == ControlKey::FullScreen) {
            toggleFullScreen();
        } else if (clock_.paused() && presents_ >= 2) {
            saveScreenshot(lastFrame_); // the picture on the screen, which stands
        } else {
            screenshotWanted_ = true;   // the frame presented next
        }
    }
    return true;
}

void ViewerControls::togglePause()
{
    if (clock_.paused()) {
        clock_.resume();
        say("playing from " + describeTime(elapsedMs()));
    } else {
        clock_.pause();
        showTitle();
    }
}

void ViewerControls::toggleFullScreen()
{
    const bool whole = (SDL_GetWindowFlags(window_.window) & SDL_WINDOW_FULLSCREEN) != 0;
    SDL_SetWindowFullscreen(window_.window, whole ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
}

// The program draws again as soon as this returns: when the window needs
// its picture again, the pause ends, or the program is told to end. A
// screenshot while paused is the picture on the screen, saved from the last
// frame (the program's own state only moves forward: a frame drawn again at
// the same time need not be exactly the one it drew there first).
void ViewerControls::waitWhilePaused()
{
    const std::uint64_t began = steadyMilliseconds();
    struct Count {
        double& total;
        std::uint64_t began;
        ~Count() { total += static_cast<double>(steadyMilliseconds() - began); }
    } count{waitedMs_, began};
    while (clock_.paused() && !ending_) {
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
            lineUntil_ = 0;
            line_.clear();
            showTitle();
            continue;
        }
        switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            if (takeKey(event.key)) {
                if (event.type == SDL_KEYDOWN && controlKeyOf(event.key.keysym) == ControlKey::FullScreen) {
                    return; // the picture again, at the window's new size
                }
            } else {
                window_.deliver(event);
                if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) {
                    ending_ = true; // the program must get to its message
                    return;
                }
            }
            break;
        case SDL_QUIT:
            window_.deliver(event);
            ending_ = true;
            return;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                return;
            }
            break;
        default:
            break;
        }
    }
}

bool ViewerControls::framePresented(const d3d9::Frame& frame)
{
    waitedMs_ = 0.0;
    lastFrame_ = frame;
    ++presents_;
    lastPresentMs_ = clock_.milliseconds(); // the time the frame was drawn at
    if (presents_ == 2) {
        startMs_ = lastPresentMs_; // the program's first frame (the first Present is its blank start-up one)
    }
    if (catchUp_ != nullptr) {
        catchUp_->display->present(frame); // on to the next retrace, or the start time
        if (!catchUp_->reached) {
            return false;
        }
        const bool pause = catchUp_->pauseThere;
        clock_.continueFrom(lastPresentMs_);
        catchUp_.reset();
        if (pause) {
            clock_.pause();
            showTitle();
        }
    }
    if (screenshotWanted_ && presents_ >= 2) {
        screenshotWanted_ = false;
        saveScreenshot(frame);
    }
    if (lineUntil_ != 0 && steadyMilliseconds() >= lineUntil_) {
        lineUntil_ = 0;
        line_.clear();
        showTitle();
    }
    return true;
}

std::int32_t ViewerControls::elapsedMs() const
{
    return presents_ >= 2 ? static_cast<std::int32_t>(lastPresentMs_ - startMs_) : 0;
}

void ViewerControls::saveScreenshot(const d3d9::Frame& frame)
{
    const std::string path = screenshotPath(elapsedMs());
    if (writePicture(path, frame.pixels(), frame.width, frame.height)) {
        std::fprintf(stderr, "demo: saved the picture at %s (%d x %d) as %s\n", describeTime(elapsedMs()).c_str(),
                     frame.width, frame.height, path.c_str());
        say("picture saved as " + path);
    } else {
        std::fprintf(stderr, "demo: could not save the picture as %s\n", path.c_str());
        say("could not save the picture");
    }
}

// A line for the title, shown for a while.
void ViewerControls::say(const std::string& line)
{
    line_ = line;
    lineUntil_ = steadyMilliseconds() + LineShownMs;
    showTitle();
}

// "demo", "demo - paused at 0:40.8", or what a control key just did.
void ViewerControls::showTitle()
{
    std::string title = Name;
    if (!line_.empty()) {
        title += " - " + line_;
    } else if (clock_.paused()) {
        title += " - paused at " + describeTime(elapsedMs());
    }
    SDL_SetWindowTitle(window_.window, title.c_str());
}

} // namespace sdlhost
