// The vertex layout on OpenGL: the vertex program's declared inputs, bound
// to the layout's elements by the shared binding code, as attribute
// pointers into the stream's GL buffer (attribute location N for vN). An
// input no element feeds reads the constant (0, 0, 0, 1).
//
// OpenGL ES has no B, G, R, A attribute bytes: there a D3DCOLOR element is
// read as R, G, B, A bytes, which the vertex program swizzles for the
// inputs colourInputs() names.
#pragma once

#include <cstddef>
#include <cstdint>

#include "d3d9/draw_state.hpp"
#include "gl/gl_api.hpp"

namespace gl {

class VertexLayout {
public:
    VertexLayout();
    ~VertexLayout();
    VertexLayout(const VertexLayout&) = delete;
    VertexLayout& operator=(const VertexLayout&) = delete;

    // Binds the vertex array (unless bound says it is, and makes it so),
    // its attributes set again when the declaration, the stream or the
    // vertex program changed.
    void bind(const d3d9::DrawState& state, d3d9::DirtyBits dirty, bool& bound);
    // Bit N: vN is fed by a D3DCOLOR element (OpenGL ES only; else 0).
    std::uint32_t colourInputs() const { return colourInputs_; }
    // The bytes from a vertex's start to the end of the last element read.
    std::size_t bytesAVertexReads() const { return vertexBytes_; }

private:
    ContextLife life_;
    GLuint vertexArray_ = 0;
    bool set_ = false; // the array's attributes have been set
    std::uint32_t colourInputs_ = 0;
    std::size_t vertexBytes_ = 0;
};

} // namespace gl
