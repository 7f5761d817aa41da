// Shows frames held in a GL framebuffer in the player window: the resolved back
// buffer is blitted, scaled with aspect kept, onto the window's own
// framebuffer, black around it, the notice panel (when there is one) over
// it, and the buffers are swapped on the retrace.
#pragma once

#include "d3d9/backend.hpp"
#include "host/sdl/player_window.hpp"

namespace sdlhost {

void presentGlFrame(PlayerWindow& window, const d3d9::Frame& frame, const SDL_Surface* notice = nullptr);

} // namespace sdlhost
