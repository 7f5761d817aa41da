// Shows the OpenGL device's frames in the player window: the resolved back
// buffer is blitted, scaled with aspect kept, onto the window's own
// framebuffer, black around it, and the buffers are swapped on the retrace.
#pragma once

#include "gl/gl_device.hpp"
#include "host/sdl/player_window.hpp"

namespace sdlhost {

void presentGlFrame(PlayerWindow& window, const gl::GlFrame& frame);

} // namespace sdlhost
