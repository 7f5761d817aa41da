// Shows frames from memory in the player window: each resolved
// back buffer is copied into a streaming texture and drawn scaled, aspect
// kept, by an SDL renderer that presents on the display's retrace.
#pragma once

#include <string>

#include <SDL.h>

#include "d3d9/backend.hpp"

namespace sdlhost {

class SoftwarePresenter {
public:
    // False with the reason when SDL has no renderer for the window.
    bool open(SDL_Window* window, std::string& why);
    ~SoftwarePresenter();

    void present(const d3d9::Frame& frame);

private:
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
};

} // namespace sdlhost
