// The OpenGL back end: draws through an OpenGL 3.3 core context that the
// host makes current before the program creates its device and keeps
// current on that thread until the device is released (EGL with no
// display, or the player's window). Its stages: state translation
// (gl_state), programs and GLSL (gl_programs, glsl_translator), vertex
// layout (gl_layout), resources (gl_resources), framebuffer with
// multisample resolve and read-back (gl_framebuffer).
//
// Direct3D 9 conventions on OpenGL: positions move by (+1/2, -1/2) pixel so
// that GL's pixel centres (i + 0.5) sample where Direct3D 9's (integer i)
// do; depth is 0..w through glClipControl, or remapped in the vertex
// program where clip control is missing.
#pragma once

#include <cstdint>

#include "d3d9/backend.hpp"

namespace gl {

// Roundings the hardware may add after the vertex program that our
// positions do not have: what the translated program does to oPos (the
// half-pixel shift, and the depth remap where there is no clip control)
// and the divide by w. A draw is stopped only when it lies beyond a plane
// by the margin these and the program's own roundings call for
// (pipeline/view_culling.hpp).
constexpr std::uint32_t HardwareRoundings = 4;

// Its description, for hosts (needs a current GL context).
const d3d9::BackendDescription& glBackend();

} // namespace gl
