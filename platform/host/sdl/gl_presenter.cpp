#include "host/sdl/gl_presenter.hpp"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include "host/picture_fit.hpp"
#include "host/sdl/notice_overlay.hpp"

namespace sdlhost {
namespace {

// The panel, uploaded to a texture of its own and blitted (it is opaque)
// onto the window's framebuffer, which is bound for drawing; its rows are
// top-down, the framebuffer's bottom-up. The texture lives for this present
// alone (a notice shows for a moment). The device's texture binding and
// unpacking state are put back as they were.
void drawNotice(const SDL_Surface& notice, int drawableHeight)
{
    GLint activeTexture = 0, boundTexture = 0, alignment = 0, rowLength = 0, unpackBuffer = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
    glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer);

    GLuint texture = 0;
    GLuint framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, notice.pitch / 4);
    // ARGB8888 words are B, G, R, A bytes in memory.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, notice.w, notice.h, 0, GL_BGRA, GL_UNSIGNED_BYTE, notice.pixels);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    const SDL_Point at = NoticeOverlay::placeOf(notice, drawableHeight);
    const GLint top = drawableHeight - at.y;
    glBlitFramebuffer(0, 0, notice.w, notice.h, at.x, top, at.x + notice.w, top - notice.h, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);

    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(boundTexture));
    glActiveTexture(static_cast<GLenum>(activeTexture));
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(unpackBuffer));
}

} // namespace

void presentGlFrame(PlayerWindow& window, const d3d9::Frame& frame, const SDL_Surface* notice)
{
    int width = 0;
    int height = 0;
    window.drawableSize(width, height);
    const host::FitRect fit = host::fitKeepingAspect(width, height, frame.width, frame.height);

    // The device keeps its own state; leave it as found.
    GLint readFramebuffer = 0;
    GLint drawFramebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
    GLfloat clearColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColor);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);

    glBindFramebuffer(GL_READ_FRAMEBUFFER, frame.glFramebuffer());
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // Both framebuffers are bottom-up, so the fit's top edge is height - y.
    const GLint top = height - fit.y;
    glBlitFramebuffer(0, 0, frame.width, frame.height, fit.x, top - fit.height, fit.x + fit.width, top,
                      GL_COLOR_BUFFER_BIT, fit.width == frame.width && fit.height == frame.height ? GL_NEAREST : GL_LINEAR);
    if (notice != nullptr) {
        drawNotice(*notice, height);
    }
    window.swapBuffers();

    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
    glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
    if (scissor == GL_TRUE) {
        glEnable(GL_SCISSOR_TEST);
    }
}

} // namespace sdlhost
