// The GL back end's render target: a framebuffer of the presentation size
// with D16 depth and, when asked and offered, four samples, resolved when
// somebody asks for the frame into a single-sample framebuffer that the
// host blits from or reads back (or blitted by the host straight from the
// samples). Both are bottom-up, as GL stores them; read-back turns the
// picture the right way up. On OpenGL ES the colour has no alpha (RGB8,
// read back as 255): the canvas it is shown on has none, and a blit that
// resolves samples needs the same format on both sides. Needs the back
// end's context current.
#pragma once

#include <cstdint>
#include <vector>

#include "d3d9/backend.hpp"
#include "gl/gl_api.hpp"

namespace gl {

class Framebuffer final : public d3d9::FrameSource {
public:
    Framebuffer(std::int32_t width, std::int32_t height, GLint samples);
    ~Framebuffer();
    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;

    GLuint drawName() const { return draw_; }
    // At Present: the rows [y1, y2) and columns [x1, x2) (rows from the top)
    // changed; their samples are resolved when the frame is next asked for.
    // The frame's pixels are read back again when next asked for.
    void changed(LONG x1, LONG y1, LONG x2, LONG y2);

    const std::uint32_t* readPixels() override;
    unsigned glFramebuffer() override;
    unsigned glSampledFramebuffer() override { return draw_; }

private:
    ContextLife life_;
    std::int32_t width_;
    std::int32_t height_;
    GLuint draw_ = 0;
    GLuint resolved_ = 0;          // draw_ itself when there is nothing to resolve
    GLuint renderbuffers_[3] = {}; // colour, depth, resolved colour
    void resolve();

    std::vector<std::uint32_t> pixels_;
    bool pixelsCurrent_ = false;
    LONG unresolved_[4] = {0, 0, 0, 0}; // x1, y1, x2, y2 changed since the last resolve (empty: none)
};

} // namespace gl
