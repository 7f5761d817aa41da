#include "gl/gl_state.hpp"

#include "com/assertion.hpp"

namespace gl {
namespace {

void applyCulling(DWORD cull)
{
    if (cull == D3DCULL_NONE) {
        glDisable(GL_CULL_FACE);
        return;
    }
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    // Upright in GL's window, a visually clockwise triangle is clockwise in
    // both: cull it by calling counter-clockwise the front.
    glFrontFace(cull == D3DCULL_CCW ? GL_CW : GL_CCW);
}

void applyDepth(const DWORD* rs)
{
    if (rs[D3DRS_ZENABLE] == D3DZB_FALSE) {
        glDisable(GL_DEPTH_TEST);
        return;
    }
    glEnable(GL_DEPTH_TEST);
    const DWORD func = rs[D3DRS_ZFUNC];
    // D3DCMP_NEVER (1) to D3DCMP_ALWAYS (8) are in GL's order from GL_NEVER.
    glDepthFunc(func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? GL_NEVER + (func - D3DCMP_NEVER) : GL_LEQUAL);
    glDepthMask(rs[D3DRS_ZWRITEENABLE] != 0 ? GL_TRUE : GL_FALSE);
}

} // namespace

void applyDrawStates(const d3d9::DrawState& state, d3d9::DirtyBits dirty, GLuint framebuffer, StateCache& cache)
{
    if (cache.known && (dirty & (d3d9::dirty::RenderStates | d3d9::dirty::Viewport)) == 0) {
        return;
    }
    cache.known = true;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    const D3DVIEWPORT9& v = state.viewport;
    const GLint x = static_cast<GLint>(v.X);
    const GLint y = state.height - static_cast<GLint>(v.Y + v.Height); // rows from the bottom
    glViewport(x, y, static_cast<GLsizei>(v.Width), static_cast<GLsizei>(v.Height));
    glEnable(GL_SCISSOR_TEST);
    glScissor(x, y, static_cast<GLsizei>(v.Width), static_cast<GLsizei>(v.Height));
    setDepthRange(v.MinZ, v.MaxZ);
    const DWORD* rs = state.renderStates;
    applyCulling(rs[D3DRS_CULLMODE]);
    applyDepth(rs);
#ifndef DEMO_GL_ES
    // OpenGL ES has neither: it fills solid, and a multisampled target
    // always samples. The program draws solid, with multisampling on.
    glPolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
    if (rs[D3DRS_MULTISAMPLEANTIALIAS] != 0) {
        glEnable(GL_MULTISAMPLE);
    } else {
        glDisable(GL_MULTISAMPLE);
    }
#endif
    glDisable(GL_BLEND);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void applyClear(const d3d9::ClearCall& call, std::int32_t height, GLuint framebuffer)
{
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glEnable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    const D3DCOLOR c = call.color;
    glClearColor(static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
                 static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>(c >> 24) / 255.0f);
    setClearDepth(call.z);
    const GLbitfield mask = ((call.flags & D3DCLEAR_TARGET) != 0 ? GL_COLOR_BUFFER_BIT : 0u) |
                            ((call.flags & D3DCLEAR_ZBUFFER) != 0 ? GL_DEPTH_BUFFER_BIT : 0u);
    PLATFORM_ASSERT(mask != 0);
    for (DWORD i = 0; i < call.rectCount; ++i) {
        const D3DRECT& r = call.rects[i];
        glScissor(r.x1, height - r.y2, r.x2 - r.x1, r.y2 - r.y1); // rows from the bottom
        glClear(mask);
    }
}

} // namespace gl
