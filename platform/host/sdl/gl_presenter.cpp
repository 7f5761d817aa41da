#include "host/sdl/gl_presenter.hpp"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include "host/picture_fit.hpp"

namespace sdlhost {

void presentGlFrame(PlayerWindow& window, const d3d9::Frame& frame)
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
    window.swapBuffers();

    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
    glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
    if (scissor == GL_TRUE) {
        glEnable(GL_SCISSOR_TEST);
    }
}

} // namespace sdlhost
