#include "gl/gl_framebuffer.hpp"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace gl {

namespace {

#ifdef DEMO_GL_ES
constexpr GLenum ColourFormat = GL_RGB8;
#else
constexpr GLenum ColourFormat = GL_RGBA8;
#endif

} // namespace

Framebuffer::Framebuffer(std::int32_t width, std::int32_t height, GLint samples) : width_(width), height_(height)
{
    glGenRenderbuffers(3, renderbuffers_);
    glGenFramebuffers(1, &draw_);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, ColourFormat, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT16, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, draw_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffers_[1]);
    resolved_ = draw_;
    if (samples > 1) {
        glGenFramebuffers(1, &resolved_);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[2]);
        glRenderbufferStorage(GL_RENDERBUFFER, ColourFormat, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, resolved_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[2]);
    }
    // A new back buffer shows opaque black, its depth buffer the far plane.
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    setClearDepth(1.0f);
    for (GLuint name : {draw_, resolved_}) {
        glBindFramebuffer(GL_FRAMEBUFFER, name);
        glClear(GL_COLOR_BUFFER_BIT | (name == draw_ ? GL_DEPTH_BUFFER_BIT : 0u));
    }
}

Framebuffer::~Framebuffer()
{
    GLuint framebuffers[2] = {draw_, resolved_};
    if (life_.current()) {
        glDeleteFramebuffers(resolved_ != draw_ ? 2 : 1, framebuffers);
        glDeleteRenderbuffers(3, renderbuffers_);
    }
}

void Framebuffer::changed(LONG x1, LONG y1, LONG x2, LONG y2)
{
    pixelsCurrent_ = false;
    if (x1 >= x2 || y1 >= y2) {
        return;
    }
    LONG* box = unresolved_;
    const bool empty = box[0] >= box[2] || box[1] >= box[3];
    box[0] = empty ? x1 : std::min(box[0], x1);
    box[1] = empty ? y1 : std::min(box[1], y1);
    box[2] = empty ? x2 : std::max(box[2], x2);
    box[3] = empty ? y2 : std::max(box[3], y2);
}

// The samples of what changed since the last resolve into the presented
// framebuffer.
void Framebuffer::resolve()
{
    const LONG x1 = unresolved_[0], y1 = unresolved_[1], x2 = unresolved_[2], y2 = unresolved_[3];
    std::fill(std::begin(unresolved_), std::end(unresolved_), 0);
    if (resolved_ == draw_ || x1 >= x2 || y1 >= y2) {
        return;
    }
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, draw_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolved_);
    const GLint bottom = height_ - static_cast<GLint>(y2), top = height_ - static_cast<GLint>(y1); // bottom-up
    glBlitFramebuffer(x1, bottom, x2, top, x1, bottom, x2, top, GL_COLOR_BUFFER_BIT, GL_NEAREST);
}

unsigned Framebuffer::glFramebuffer()
{
    resolve();
    return resolved_;
}

const std::uint32_t* Framebuffer::readPixels()
{
    if (pixelsCurrent_) {
        return pixels_.data();
    }
    resolve();
    const auto width = static_cast<std::size_t>(width_);
    const auto height = static_cast<std::size_t>(height_);
    std::vector<std::uint32_t> bottomUp(width * height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, resolved_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
#ifdef DEMO_GL_ES
    // OpenGL ES reads R, G, B, A bytes: swap red and blue into A8R8G8B8.
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    for (std::uint32_t& p : bottomUp) {
        p = swapRedBlue(p);
    }
#else
    // BGRA bytes as a little-endian 32-bit word are A8R8G8B8.
    glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, bottomUp.data());
#endif
    pixels_.resize(width * height);
    for (std::size_t row = 0; row < height; ++row) {
        std::memcpy(pixels_.data() + row * width, bottomUp.data() + (height - 1 - row) * width, width * 4);
    }
    pixelsCurrent_ = true;
    return pixels_.data();
}

} // namespace gl
