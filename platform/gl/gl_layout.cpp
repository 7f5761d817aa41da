#include "gl/gl_layout.hpp"

#include <algorithm>
#include <cstdint>

#include "com/assertion.hpp"
#include "pipeline/vertex_layout.hpp"
#include "gl/gl_resources.hpp"

namespace gl {
namespace {

constexpr GLuint AttributeCount = 16;

// One element as an attribute pointer: components, type and normalisation.
void pointAttribute(GLuint location, BYTE type, GLsizei stride, const void* offset)
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        glVertexAttribPointer(location, 1 + (type - D3DDECLTYPE_FLOAT1), GL_FLOAT, GL_FALSE, stride, offset);
        break;
    case D3DDECLTYPE_D3DCOLOR: // bytes b, g, r, a: .x is red
#ifdef DEMO_GL_ES
        glVertexAttribPointer(location, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, offset); // swizzled by the program
#else
        glVertexAttribPointer(location, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, offset);
#endif
        break;
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_UBYTE4N:
        glVertexAttribPointer(location, 4, GL_UNSIGNED_BYTE, type == D3DDECLTYPE_UBYTE4N, stride, offset);
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
        glVertexAttribPointer(location, type == D3DDECLTYPE_SHORT2 ? 2 : 4, GL_SHORT, GL_FALSE, stride, offset);
        break;
    default: PLATFORM_ASSERT(!"a vertex element type the front end does not accept");
    }
}

} // namespace

VertexLayout::VertexLayout()
{
    glGenVertexArrays(1, &vertexArray_);
}

VertexLayout::~VertexLayout()
{
    if (life_.current()) {
        glDeleteVertexArrays(1, &vertexArray_);
    }
}

void VertexLayout::bind(const d3d9::DrawState& state, d3d9::DirtyBits dirty, bool& bound)
{
    if (!bound) {
        glBindVertexArray(vertexArray_);
        bound = true;
    }
    if (set_ && (dirty & (d3d9::dirty::Declaration | d3d9::dirty::Streams | d3d9::dirty::VertexShader)) == 0) {
        return;
    }
    set_ = true;
    colourInputs_ = 0;
    vertexBytes_ = 0;
    glBindBuffer(GL_ARRAY_BUFFER, bufferName(state.stream));
    for (GLuint location = 0; location < AttributeCount; ++location) {
        glDisableVertexAttribArray(location);
        glVertexAttrib4f(location, 0.0f, 0.0f, 0.0f, 1.0f);
    }
    for (const pipeline::InputBinding& b : state.linkage->bindings) {
        if (b.type == D3DDECLTYPE_UNUSED) {
            continue;
        }
        const auto offset = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(state.streamOffset + b.offset));
        pointAttribute(b.inputRegister, b.type, static_cast<GLsizei>(state.streamStride), offset);
        vertexBytes_ = std::max(vertexBytes_, std::size_t{b.offset} + pipeline::elementSize(b.type));
        glEnableVertexAttribArray(b.inputRegister);
#ifdef DEMO_GL_ES
        colourInputs_ |= b.type == D3DDECLTYPE_D3DCOLOR ? 1u << b.inputRegister : 0u;
#endif
    }
}

} // namespace gl
