// The GL back end's render target: a framebuffer of the presentation size
// with D16 depth and, when asked and offered, four samples, resolved at
// Present into a single-sample framebuffer that the host blits from or
// reads back. Both are bottom-up, as GL stores them; read-back turns the
// picture the right way up. Needs the back end's context current.
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
    // Resolves the samples of the rows [y1, y2) and columns [x1, x2)
    // (rows from the top) into the presented framebuffer; the frame's
    // pixels are read back again when next asked for.
    void resolve(LONG x1, LONG y1, LONG x2, LONG y2);

    const std::uint32_t* readPixels() override;
    unsigned glFramebuffer() const override { return resolved_; }

private:
    std::int32_t width_;
    std::int32_t height_;
    GLuint draw_ = 0;
    GLuint resolved_ = 0;          // draw_ itself when there is nothing to resolve
    GLuint renderbuffers_[3] = {}; // colour, depth, resolved colour
    std::vector<std::uint32_t> pixels_;
    bool pixelsCurrent_ = false;
};

} // namespace gl
