// The vertex layout on OpenGL: the vertex program's declared inputs, bound
// to the layout's elements by the shared binding code, as attribute
// pointers into the stream's GL buffer (attribute location N for vN). An
// input no element feeds reads the constant (0, 0, 0, 1).
#pragma once

#include "d3d9/draw_state.hpp"
#include "gl/gl_api.hpp"

namespace gl {

void applyVertexLayout(const d3d9::DrawState& state, GLuint vertexArray);

} // namespace gl
