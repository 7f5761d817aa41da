// The player's one SDL window, standing behind the program's "demo" window:
// it opens hidden, appears when the program's window is shown, turns SDL's
// keyboard and close events into the Win32 messages the program's window
// procedure expects, and hides the pointer when the program asks.
//
// Full screen at the desktop's size unless windowed is asked for; then a
// resizable window of the back buffer's size. With OpenGL, the window owns
// a 3.3 core context, current on the calling thread while it lives; robust
// (told of GPU resets) where the driver offers it, and made again after one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <SDL.h>

#include "windows.h"

namespace sdlhost {

class ViewerControls;

struct WindowRequest {
    bool windowed = false;   // a window instead of the whole screen
    bool openGl = false;     // make an OpenGL 3.3 core context in it
    bool vsync = true;       // its swaps wait for the display's retrace
    int width = 1024;        // the windowed size and the back buffer's
    int height = 768;
};

class PlayerWindow {
public:
    // Null with the reason in why when SDL cannot make the window (or context).
    static std::unique_ptr<PlayerWindow> open(const WindowRequest& request, std::string& why);
    ~PlayerWindow();
    PlayerWindow(const PlayerWindow&) = delete;
    PlayerWindow& operator=(const PlayerWindow&) = delete;

    // Connects the window to the Win32 stand-in (input, visibility, cursor);
    // the destructor disconnects it.
    void attachToWindowSystem();
    // Delivers SDL's pending events as window messages, but for the
    // viewer's control keys, which go to controls (when set); then, while
    // the controls are paused, waits for what they need.
    void pumpEvents();
    void setControls(ViewerControls* controls) { controls_ = controls; }
    // One SDL event as the window message Windows would send, if any.
    void deliver(const SDL_Event& event);
    // Shows the window (once the program shows its own).
    void show();
    // The program's run ended and its windows with it (the SDL window stays
    // for the next run).
    void forgetProgramWindow() { shownWindow_ = nullptr; }

    SDL_Window* sdlWindow() const { return window_; }
    // The drawable size in pixels (differs from the window's on high-density screens).
    void drawableSize(int& width, int& height) const;
    bool hasOpenGl() const { return context_ != nullptr; }
    void swapBuffers() { SDL_GL_SwapWindow(window_); }
    // After a GPU reset (told only to a robust context): waits for the reset
    // to end and makes a new context current, whose generation is then one
    // more; true when that happened. Nothing made in the old one lives on.
    bool recoverFromReset();
    // Changes whenever the context was made anew (the GL back end's context
    // generation).
    std::uint64_t contextGeneration() const { return generation_; }

private:
    PlayerWindow() = default;
    HWND programWindow() const;
    void deliverKey(const SDL_KeyboardEvent& key);
    bool makeContext(std::string& why);

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    bool robust_ = false;         // the context is told of GPU resets
    bool vsync_ = true;           // the swap interval asked for: 1, or 0
    std::uint64_t generation_ = 0;
    HWND shownWindow_ = nullptr; // the program's window once visible
    bool attached_ = false;
    bool shown_ = false;
    ViewerControls* controls_ = nullptr;
};

} // namespace sdlhost
