// A headless OpenGL 3.3 core context through EGL, for running the OpenGL
// device with no window system: Mesa's surfaceless platform first, then the
// device platform, then the default display. The context is made current on
// the creating thread and stays so until the object goes.
// create() answers null with one line saying why when no such context can be
// made (no EGL driver, no OpenGL 3.3 core).
#pragma once

#include <memory>
#include <string>

namespace gl {

class EglContext {
public:
    static std::unique_ptr<EglContext> create(std::string& reason);
    ~EglContext();
    EglContext(const EglContext&) = delete;
    EglContext& operator=(const EglContext&) = delete;

    // The renderer string of the context, e.g. for reports.
    std::string renderer() const;

private:
    EglContext() = default;
    void* display_ = nullptr; // EGLDisplay
    void* context_ = nullptr; // EGLContext
    void* surface_ = nullptr; // EGLSurface, a 1 x 1 pbuffer when surfaceless contexts are not offered
};

} // namespace gl
