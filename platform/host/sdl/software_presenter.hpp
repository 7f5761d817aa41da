// Shows frames from memory in the player window: each resolved
// back buffer is copied into a streaming texture and drawn scaled, aspect
// kept, by an SDL renderer that presents on the display's retrace. When
// the picture is the frame's size, nothing needs scaling: SDL's own software
// renderer copies the frame to the window (through shared memory on X11)
// without a GL driver and its threads, the cheapest path on a machine
// without a GPU. That renderer presents at once, so the presenter waits
// for the display's next retrace itself, as the program expects of
// Present.
#pragma once

#include <string>

#include <SDL.h>

#include "d3d9/backend.hpp"
#include "host/sdl/retrace_pacer.hpp"

namespace sdlhost {

class SoftwarePresenter {
public:
    // False with the reason when SDL has no renderer for the window.
    // Without vsync, frames go out as soon as they are made (for measuring).
    bool open(SDL_Window* window, bool vsync, std::string& why);
    ~SoftwarePresenter();

    // Shows the frame, and the notice panel over it (null: none); the
    // milliseconds that took, waiting for the retrace left out.
    double present(const d3d9::Frame& frame, const SDL_Surface* notice = nullptr);

private:
    // The renderer for a window of this size showing frames of that size.
    bool useRenderer(bool unscaled, std::string& why);
    void dropRenderer();
    void drawNotice(const SDL_Surface& notice, int outputHeight);

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    bool unscaled_ = false; // renderer_ is the software renderer
    bool vsync_ = true;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    RetracePacer pacer_{nullptr};
};

} // namespace sdlhost
