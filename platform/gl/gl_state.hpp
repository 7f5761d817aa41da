// Direct3D 9 render state on OpenGL. The picture is drawn the right way up
// in GL's bottom-up framebuffer (viewport and scissor rows counted from the
// bottom), so clip-space y needs no flip and the winding seen on screen is
// the same: D3DCULL_CW removes visually clockwise triangles, which is
// glFrontFace(GL_CCW) with back faces culled. Clears and draws are
// scissored to the viewport: the half-pixel shift of positions must not
// draw outside it. Needs the back end's context current.
#pragma once

#include "d3d9/backend.hpp"
#include "d3d9/draw_state.hpp"
#include "gl/gl_api.hpp"

namespace gl {

// Everything a draw depends on besides programs and layout, set anew each
// draw: the host may have changed GL state when a frame was presented.
void applyDrawStates(const d3d9::DrawState& state, GLuint framebuffer);
// A clear of rectangles (already inside the viewport; rows from the top).
void applyClear(const d3d9::ClearCall& call, std::int32_t height, GLuint framebuffer);

} // namespace gl
