// The OpenGL entry points the device uses. Natively: core profile
// prototypes, linked from the vendor-neutral libOpenGL, so that one build
// runs on an EGL context (headless) or a GLX one (a window). In a browser:
// OpenGL ES 3.0 as WebGL2 offers it (DEMO_GL_ES is then defined), where a
// few core calls have ES spellings or no equivalent; the back end's files
// branch on DEMO_GL_ES only there. Internal to platform/gl.
#pragma once

#include <cstdint>

#ifdef __EMSCRIPTEN__
#define DEMO_GL_ES 1
#include <GLES3/gl3.h>
#else
#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#endif

namespace gl {

// Which life of the context the back end's GL names belong to. A context
// that lost every object (a WebGL context given back, a new context after
// a GPU reset) starts a new life; a name of an earlier one is forgotten,
// never deleted (it may name something else now, or nothing).
inline std::uint64_t& currentContextLife()
{
    static std::uint64_t life = 0; // GL work is on one thread
    return life;
}

struct ContextLife {
    std::uint64_t life = currentContextLife();
    bool current() const { return life == currentContextLife(); }
};

inline void setDepthRange(float nearZ, float farZ)
{
#ifdef DEMO_GL_ES
    glDepthRangef(nearZ, farZ);
#else
    glDepthRange(static_cast<double>(nearZ), static_cast<double>(farZ));
#endif
}

inline void setClearDepth(float z)
{
#ifdef DEMO_GL_ES
    glClearDepthf(z);
#else
    glClearDepth(static_cast<double>(z));
#endif
}

// A8R8G8B8 as a word <-> R, G, B, A bytes as a little-endian word: the
// same swap of red and blue either way (OpenGL ES moves texels and pixels
// in R, G, B, A order only).
inline std::uint32_t swapRedBlue(std::uint32_t pixel)
{
    return (pixel & 0xFF00FF00u) | ((pixel & 0xFFu) << 16) | ((pixel >> 16) & 0xFFu);
}

} // namespace gl
