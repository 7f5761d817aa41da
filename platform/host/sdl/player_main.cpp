// `demo`, the program as a person runs it: its own WinMain on SDL, full
// screen (or in a window with DEMO_WINDOWED=1), presenting on the display's
// retrace, ending on Escape or when the window is closed. It draws through
// the OpenGL device where a 3.3 core context can be made and through the
// software device otherwise; DEMO_DEVICE=gl or software forces one.
//
// With no display at all "user32.dll" is left out of the module table, so
// the program ends as it does on a machine without a window system: exit
// code -1. The player says why on stderr; the program itself prints nothing.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <SDL.h>

#include "gl/gl_device.hpp"
#include "host/program_modules.hpp"
#include "host/sdl/frame_stats.hpp"
#include "host/sdl/gl_presenter.hpp"
#include "host/sdl/player_settings.hpp"
#include "host/sdl/player_window.hpp"
#include "host/sdl/software_presenter.hpp"
#include "raster/software_device.hpp"
#include "win32/window_system.hpp"

namespace {

using sdlhost::DeviceChoice;
using sdlhost::PlayerSettings;
using sdlhost::PlayerWindow;

void printUsage()
{
    std::puts("usage: demo\n"
              "\n"
              "Plays the demo full screen; Escape or closing the window ends it.\n"
              "The program takes no command line; the environment chooses:\n"
              "  DEMO_DEVICE=gl|software  the OpenGL or the software Direct3D 9 device\n"
              "                           (default: OpenGL where a 3.3 core context can be made)\n"
              "  DEMO_WINDOWED=1          a 1024 x 768 window instead of the whole screen\n"
              "  DEMO_STATS=1             frame rate and CPU time a frame on stderr at the end\n"
              "\n"
              "Without a display, `demokit record` renders the demo to images or video.");
}

int runProgram()
{
    return WinMain(nullptr, nullptr, const_cast<LPSTR>(""), 1); // SW_SHOWNORMAL
}

// No window system: the program finds no "user32.dll" and ends with -1.
int runWithoutDisplay(const char* reason)
{
    std::fprintf(stderr, "demo: no display to play on (%s); `demokit record` renders the demo without one\n", reason);
    host::installProgramModules(&raster::softwareDirect3DCreate9, false);
    const int code = runProgram();
    host::removeProgramModules();
    return code;
}

// The window for the chosen device: OpenGL first unless software is asked
// for; an automatic choice falls back to software when OpenGL cannot be had.
std::unique_ptr<PlayerWindow> openWindow(const PlayerSettings& settings, std::string& why)
{
    sdlhost::WindowRequest request;
    request.windowed = settings.windowed;
    if (settings.device != DeviceChoice::Software) {
        request.openGl = true;
        std::unique_ptr<PlayerWindow> window = PlayerWindow::open(request, why);
        if (window != nullptr || settings.device == DeviceChoice::OpenGl) {
            return window;
        }
    }
    request.openGl = false;
    return PlayerWindow::open(request, why);
}

int playWithOpenGl(PlayerWindow& window, sdlhost::FrameStats& stats)
{
    gl::GlOptions options;
    options.onPresent = [&](const gl::GlFrame& frame) {
        window.show();
        sdlhost::presentGlFrame(window, frame);
        stats.markFrame();
    };
    gl::configureGlDevice(std::move(options));
    host::installProgramModules(&gl::glDirect3DCreate9, true);
    const int code = runProgram();
    gl::configureGlDevice({});
    return code;
}

int playWithSoftware(PlayerWindow& window, sdlhost::FrameStats& stats)
{
    sdlhost::SoftwarePresenter presenter;
    std::string why;
    if (!presenter.open(window.sdlWindow(), why)) {
        std::fprintf(stderr, "demo: %s\n", why.c_str());
        return 1;
    }
    raster::SoftwareOptions options;
    options.onPresent = [&](const raster::PresentedFrame& frame) {
        window.show();
        presenter.present(frame);
        stats.markFrame();
    };
    raster::configureSoftwareDevice(std::move(options));
    host::installProgramModules(&raster::softwareDirect3DCreate9, true);
    const int code = runProgram();
    raster::configureSoftwareDevice({});
    return code;
}

// Whether there is a window system to play on. SDL would otherwise settle
// for its invisible offscreen driver; an explicit SDL_VIDEODRIVER (a console
// driver, say) is taken as it stands.
bool findDisplay(std::string& why)
{
    const bool chosen = std::getenv("SDL_VIDEODRIVER") != nullptr;
    if (!chosen && std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        why = "neither DISPLAY nor WAYLAND_DISPLAY is set";
        return false;
    }
    if (!chosen && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        // Only X is offered: its own error, not a fallback's, if it fails.
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        why = SDL_GetError();
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!chosen && driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        SDL_Quit();
        why = "no window system answered";
        return false;
    }
    return true;
}

int play(const PlayerSettings& settings)
{
    std::string why;
    std::unique_ptr<PlayerWindow> window = openWindow(settings, why);
    if (window == nullptr) {
        std::fprintf(stderr, "demo: cannot open the window: %s\n", why.c_str());
        return 1;
    }
    window->attachToWindowSystem();
    sdlhost::FrameStats stats;
    const int code = window->hasOpenGl() ? playWithOpenGl(*window, stats) : playWithSoftware(*window, stats);
    win32::resetWindowSystem();
    host::removeProgramModules();
    window.reset();
    if (settings.stats) {
        stats.print(stderr);
    }
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage();
        return 0;
    }
    PlayerSettings settings;
    std::string why;
    if (!sdlhost::readPlayerSettings(std::getenv("DEMO_DEVICE"), std::getenv("DEMO_WINDOWED"),
                                     std::getenv("DEMO_STATS"), settings, why)) {
        std::fprintf(stderr, "demo: %s\n", why.c_str());
        return 2;
    }
    std::string noDisplay;
    if (!findDisplay(noDisplay)) {
        return runWithoutDisplay(noDisplay.c_str());
    }
    const int code = play(settings);
    SDL_Quit();
    return code;
}
