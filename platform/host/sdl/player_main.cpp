// `demo`, the program as a person runs it: its own WinMain on SDL, full
// screen (or in a window with --windowed), presenting on the display's
// retrace, ending on Escape or when the window is closed. It draws through
// the first back end that can be had, one on a GL context (a GPU) first;
// --device names one. The environment (DEMO_DEVICE, DEMO_WINDOWED,
// DEMO_STATS, DEMO_SCALE) says the same where the command line is silent.
// By default the device draws at the size the picture takes on the screen,
// in device pixels, so that nothing is magnified.
//
// With no display at all "user32.dll" is left out of the module table, so
// the program ends as it does on a machine without a window system: exit
// code -1. The player says why on stderr; the program itself prints nothing.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <SDL.h>

#include "host/backend_list.hpp"
#include "host/picture_fit.hpp"
#include "host/program_modules.hpp"
#include "host/sdl/frame_stats.hpp"
#include "host/sdl/gl_presenter.hpp"
#include "host/sdl/notice_overlay.hpp"
#include "host/sdl/retrace_pacer.hpp"
#include "host/sdl/player_settings.hpp"
#include "host/sdl/player_window.hpp"
#include "host/sdl/program_module.hpp"
#include "host/sdl/render_size_choice.hpp"
#include "host/sdl/software_presenter.hpp"
#include "host/sdl/viewer_controls.hpp"
#include "win32/clock.hpp"
#include "win32/window_system.hpp"

namespace {

using sdlhost::PlayerSettings;
using sdlhost::PlayerWindow;

// No window system: the program finds no "user32.dll" and ends with -1.
int runWithoutDisplay(const char* reason)
{
    std::fprintf(stderr, "demo: no display to play on (%s); `demokit record` renders the demo without one\n", reason);
    return host::runProgram(*host::backends().front(), {}, false);
}

// A window for one back end: with a GL context where it draws on one.
std::unique_ptr<PlayerWindow> openWindowFor(const PlayerSettings& settings, const d3d9::BackendDescription& backend,
                                            std::string& why)
{
    sdlhost::WindowRequest request;
    request.windowed = settings.windowed;
    request.openGl = backend.needsGlContext;
    request.vsync = settings.vsync;
    return PlayerWindow::open(request, why);
}

// The window for the chosen back end; an automatic choice takes the first
// whose window can be opened, those on a GL context (a GPU) first.
std::unique_ptr<PlayerWindow> openWindow(const PlayerSettings& settings, const d3d9::BackendDescription*& chosen,
                                         std::string& why)
{
    if (settings.device != nullptr) {
        chosen = settings.device;
        return openWindowFor(settings, *settings.device, why);
    }
    std::vector<const d3d9::BackendDescription*> order(host::backends().begin(), host::backends().end());
    std::stable_partition(order.begin(), order.end(), [](const auto* b) { return b->needsGlContext; });
    for (const d3d9::BackendDescription* backend : order) {
        std::unique_ptr<PlayerWindow> window = openWindowFor(settings, *backend, why);
        if (window != nullptr) {
            chosen = backend;
            return window;
        }
    }
    return nullptr;
}

// The size the device draws at: what --scale says; by default the
// picture's size on the screen (for the software device, as large as it
// keeps the display's rate at).
void chooseRenderSize(const PlayerSettings& settings, PlayerWindow& window, sdlhost::AdaptiveRenderSize& adaptive,
                      d3d9::BackendOptions& options)
{
    using Kind = sdlhost::RenderChoice::Kind;
    const sdlhost::RenderChoice& choice = settings.render;
    if (choice.kind == Kind::Scale) {
        options.renderScale = choice.scale;
    } else if (choice.kind == Kind::Size) {
        options.renderSize = [size = choice.size](std::int32_t, std::int32_t) { return size; };
    } else {
        options.renderSize = [&window, &adaptive](std::int32_t width, std::int32_t height) {
            int drawableWidth = 0, drawableHeight = 0;
            window.drawableSize(drawableWidth, drawableHeight);
            const d3d9::RenderSize shown = host::shownSize(drawableWidth, drawableHeight, {width, height});
            return window.hasOpenGl() ? shown : adaptive.sizeFor(shown, {width, height});
        };
    }
}

// Frames go to the window: blitted on the GPU from a GL back end's
// framebuffer, or uploaded through an SDL renderer from memory. The
// program runs again after a seek ended its run.
int playOn(const PlayerSettings& settings, PlayerWindow& window, const d3d9::BackendDescription& backend,
           sdlhost::FrameStats& stats)
{
    sdlhost::SoftwarePresenter presenter;
    std::string why;
    if (!window.hasOpenGl() && !presenter.open(window.sdlWindow(), settings.vsync, why)) {
        std::fprintf(stderr, "demo: %s\n", why.c_str());
        return 1;
    }
    sdlhost::RetracePacer glPacer(window.sdlWindow(), settings.vsync);
    sdlhost::AdaptiveRenderSize adaptive(sdlhost::refreshMs(window.sdlWindow()));
    // The viewer's keys, and the program's clock, which they pause; the line
    // that says what a key did, over the picture.
    sdlhost::NoticeOverlay overlay;
    d3d9::Frame shown;        // the last frame shown, while its run lasts
    bool haveShown = false;
    // Puts a frame and the notice on the screen; the software presenter's
    // milliseconds for it (its wait for the retrace left out), 0 on GL.
    std::function<double(const d3d9::Frame&)> show;
    sdlhost::ViewerControls controls({window.sdlWindow(), [&window](const SDL_Event& event) { window.deliver(event); },
                                      [&] {
                                          if (haveShown) {
                                              show(shown);
                                          }
                                      }},
                                     {settings.loop, settings.stats});
    window.setControls(&controls);
    win32::setClock(&controls.clock());
    Uint64 resumed = SDL_GetPerformanceCounter(); // when the program got control back from the last present
    const auto onPresent = [&](const d3d9::Frame& frame) {
        window.show();
        const double pausedMs = controls.waitedMs(); // not the frame's own time
        if (!controls.framePresented(frame)) {
            resumed = SDL_GetPerformanceCounter(); // run through on the way to a time: not shown
            return;
        }
        if (window.hasOpenGl() && window.recoverFromReset()) {
            return; // the frame went with the old context; the GL device makes everything again
        }
        shown = frame;
        haveShown = true;
        const double programMs = sdlhost::millisecondsSince(resumed) - pausedMs;
        const double presentMs = show(frame);
        if (window.hasOpenGl() && frame.glFramebuffer() != 0) {
            glPacer.afterWaitingPresent(); // the swap interval may be ignored (Xvfb)
        } else if (adaptive.frameMade(programMs + presentMs) && settings.stats) {
            std::fprintf(stderr, "demo: the software device falls behind the display at %d x %d\n", frame.width,
                         frame.height);
        }
        if (stats.markFrame(frame.width, frame.height) && settings.stats) {
            std::fprintf(stderr, "demo: drawing at %d x %d with the %s device\n", frame.width, frame.height,
                         std::string(backend.name).c_str());
        }
        resumed = SDL_GetPerformanceCounter();
    };
    show = [&](const d3d9::Frame& frame) {
        int drawableWidth = 0, drawableHeight = 0;
        window.drawableSize(drawableWidth, drawableHeight);
        const SDL_Surface* notice = overlay.panelFor(controls.notice(), drawableHeight);
        if (window.hasOpenGl() && frame.glFramebuffer() != 0) {
            sdlhost::presentGlFrame(window, frame, notice);
            return 0.0;
        }
        return presenter.present(frame, notice);
    };
    controls.startAt(settings.startMs, settings.paused);
    int code = 0;
    // The first run is the linked-in program's; a run after a seek needs
    // the program's tables fresh, from its module loaded anew.
    std::unique_ptr<sdlhost::ProgramModule> module;
    host::ProgramEntry entry = &WinMain;
    for (;;) {
        d3d9::BackendOptions options;
        options.contextGeneration = [&window] { return window.contextGeneration(); };
        chooseRenderSize(settings, window, adaptive, options);
        options.sink.wantsPixels = [&controls] { return controls.wantsPixels(); };
        options.sink.onPresent = onPresent;
        code = host::runProgram(backend, std::move(options), true, entry);
        window.forgetProgramWindow();
        haveShown = false; // its device is gone
        if (!controls.restartWanted()) {
            break;
        }
        module.reset();
        module = sdlhost::ProgramModule::load(sdlhost::programModulePath(), why);
        if (module == nullptr) {
            std::fprintf(stderr, "demo: cannot start the program again for the seek: %s\n", why.c_str());
            code = 1;
            break;
        }
        entry = module->entry();
        controls.beginNextRun();
    }
    win32::setClock(nullptr);
    window.setControls(nullptr);
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
    const d3d9::BackendDescription* backend = nullptr;
    std::unique_ptr<PlayerWindow> window = openWindow(settings, backend, why);
    if (window == nullptr) {
        std::fprintf(stderr, "demo: cannot open the window: %s\n", why.c_str());
        return 1;
    }
    window->attachToWindowSystem();
    sdlhost::FrameStats stats;
    const int code = playOn(settings, *window, *backend, stats);
    window.reset();
    if (settings.stats) {
        stats.print(stderr);
    }
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    PlayerSettings settings;
    std::string why;
    if (!sdlhost::readPlayerSettings(sdlhost::readEnvironment(), settings, why)) {
        std::fprintf(stderr, "demo: %s\n", why.c_str());
        return 2;
    }
    const sdlhost::CommandLineOutcome outcome = sdlhost::readPlayerCommandLine(argc, argv, settings);
    if (!outcome.play) {
        return outcome.exitCode;
    }
    std::string noDisplay;
    if (!findDisplay(noDisplay)) {
        return runWithoutDisplay(noDisplay.c_str());
    }
    const int code = play(settings);
    SDL_Quit();
    return code;
}
