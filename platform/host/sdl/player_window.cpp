#include "host/sdl/player_window.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include "host/program_modules.hpp"
#include "host/sdl/key_mapping.hpp"
#include "host/sdl/viewer_controls.hpp"
#include "win32/window_system.hpp"

namespace sdlhost {

std::unique_ptr<PlayerWindow> PlayerWindow::open(const WindowRequest& request, std::string& why)
{
    std::unique_ptr<PlayerWindow> player(new PlayerWindow());
    Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
    flags |= request.windowed ? SDL_WINDOW_RESIZABLE : SDL_WINDOW_FULLSCREEN_DESKTOP;
    if (request.openGl) {
        flags |= SDL_WINDOW_OPENGL;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        // The device draws into its own framebuffer with its own depth buffer.
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    }
    player->window_ = SDL_CreateWindow(host::ProgramWindowClass, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, request.width,
                                       request.height, flags);
    if (player->window_ == nullptr) {
        why = SDL_GetError();
        return nullptr;
    }
    player->vsync_ = request.vsync;
    if (request.openGl && !player->makeContext(why)) {
        return nullptr;
    }
    return player;
}

// A robust context where the driver makes one (told of GPU resets: Mesa
// offers GL_KHR_robustness, though its software driver never resets), an
// ordinary one otherwise; current, presenting on the display's retrace.
bool PlayerWindow::makeContext(std::string& why)
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_ROBUST_ACCESS_FLAG);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION, SDL_GL_CONTEXT_RESET_LOSE_CONTEXT);
    context_ = SDL_GL_CreateContext(window_);
    if (context_ == nullptr) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION, SDL_GL_CONTEXT_RESET_NO_NOTIFICATION);
        context_ = SDL_GL_CreateContext(window_);
    }
    if (context_ == nullptr) {
        why = std::string("no OpenGL 3.3 core context: ") + SDL_GetError();
        return false;
    }
    GLint strategy = 0;
    glGetIntegerv(GL_RESET_NOTIFICATION_STRATEGY, &strategy);
    robust_ = strategy == GL_LOSE_CONTEXT_ON_RESET;
    SDL_GL_SetSwapInterval(vsync_ ? 1 : 0);
    return true;
}

bool PlayerWindow::recoverFromReset()
{
    if (!robust_ || glGetGraphicsResetStatus() == GL_NO_ERROR) {
        return false;
    }
    std::fprintf(stderr, "demo: the GPU was reset; making the picture again\n");
    // The status stays GUILTY, INNOCENT or UNKNOWN until the reset is over.
    for (int waited = 0; glGetGraphicsResetStatus() != GL_NO_ERROR && waited < 1000; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    SDL_GL_DeleteContext(context_);
    context_ = nullptr;
    std::string why;
    if (!makeContext(why)) {
        std::fprintf(stderr, "demo: %s\n", why.c_str());
        std::exit(1); // nothing left to draw with
    }
    ++generation_;
    return true;
}

PlayerWindow::~PlayerWindow()
{
    if (attached_) {
        win32::setHostHooks({});
    }
    SDL_ShowCursor(SDL_ENABLE);
    if (context_ != nullptr) {
        SDL_GL_DeleteContext(context_);
    }
    if (window_ != nullptr) {
        SDL_DestroyWindow(window_);
    }
}

void PlayerWindow::attachToWindowSystem()
{
    win32::HostHooks hooks;
    hooks.pumpInput = [this] { pumpEvents(); };
    hooks.onVisibility = [this](HWND window, bool visible, const RECT&) {
        if (visible) {
            shownWindow_ = window;
            show();
        } else if (window == shownWindow_) {
            shownWindow_ = nullptr;
        }
    };
    hooks.onCursor = [](bool hidden) { SDL_ShowCursor(hidden ? SDL_DISABLE : SDL_ENABLE); };
    win32::setHostHooks(std::move(hooks));
    attached_ = true;
}

void PlayerWindow::show()
{
    if (!shown_) {
        SDL_ShowWindow(window_);
        SDL_RaiseWindow(window_);
        shown_ = true;
    }
}

void PlayerWindow::drawableSize(int& width, int& height) const
{
    if (context_ != nullptr) {
        SDL_GL_GetDrawableSize(window_, &width, &height);
    } else {
        SDL_GetWindowSizeInPixels(window_, &width, &height);
    }
}

// The window the program made: the one it showed, else its class's.
HWND PlayerWindow::programWindow() const
{
    return shownWindow_ != nullptr ? shownWindow_ : FindWindowA(host::ProgramWindowClass, nullptr);
}

void PlayerWindow::deliverKey(const SDL_KeyboardEvent& key)
{
    const unsigned virtualKey = virtualKeyOf(key.keysym.sym);
    const HWND window = programWindow();
    if (virtualKey == 0 || window == nullptr) {
        return;
    }
    const bool release = key.type == SDL_KEYUP;
    win32::postInputMessage(window, release ? WM_KEYUP : WM_KEYDOWN, virtualKey,
                            win32::keyMessageParameter(virtualKey, release));
}

void PlayerWindow::deliver(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        deliverKey(event.key);
        break;
    case SDL_QUIT: {
        // The window manager's close button (or a quit request): what
        // Windows sends when the caption's close box is pressed.
        const HWND window = programWindow();
        if (window != nullptr) {
            win32::postInputMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        break;
    }
    default:
        break;
    }
}

void PlayerWindow::pumpEvents()
{
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        if (!(controls_ != nullptr && controls_->takeEvent(event))) {
            deliver(event);
        }
    }
    if (controls_ != nullptr) {
        controls_->waitWhilePaused();
    }
}

} // namespace sdlhost
