// The headless EGL context: display, config, OpenGL 3.3 core context, made
// current without a surface where EGL_KHR_surfaceless_context allows, else
// on a 1 x 1 pbuffer (the device draws into its own framebuffers anyway).
#include "gl/egl_context.hpp"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <cstring>

namespace gl {
namespace {

bool hasExtension(const char* list, const char* name)
{
    if (list == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at != nullptr; at = std::strstr(at + length, name)) {
        const bool starts = at == list || at[-1] == ' ';
        const bool ends = at[length] == ' ' || at[length] == '\0';
        if (starts && ends) {
            return true;
        }
    }
    return false;
}

// The first display that initialises: surfaceless, a device, the default.
EGLDisplay openDisplay()
{
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    auto tryDisplay = [](EGLDisplay display) {
        if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr) == EGL_TRUE) {
            return display;
        }
        return EGL_NO_DISPLAY;
    };
    if (getPlatformDisplay != nullptr && hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay d = tryDisplay(getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr));
        if (d != EGL_NO_DISPLAY) {
            return d;
        }
    }
    auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    if (getPlatformDisplay != nullptr && queryDevices != nullptr &&
        hasExtension(clientExtensions, "EGL_EXT_platform_device")) {
        EGLDeviceEXT devices[8];
        EGLint count = 0;
        if (queryDevices(8, devices, &count) == EGL_TRUE) {
            for (EGLint i = 0; i < count; ++i) {
                EGLDisplay d = tryDisplay(getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr));
                if (d != EGL_NO_DISPLAY) {
                    return d;
                }
            }
        }
    }
    return tryDisplay(eglGetDisplay(EGL_DEFAULT_DISPLAY));
}

} // namespace

std::unique_ptr<EglContext> EglContext::create(std::string& reason)
{
    EGLDisplay display = openDisplay();
    if (display == EGL_NO_DISPLAY) {
        reason = "no EGL display could be opened (no EGL driver?)";
        return nullptr;
    }
    std::unique_ptr<EglContext> made(new EglContext);
    made->display_ = display;
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        reason = "the EGL display offers no desktop OpenGL";
        return nullptr;
    }
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                       EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    if (eglChooseConfig(display, configAttributes, &config, 1, &configs) != EGL_TRUE || configs < 1) {
        reason = "the EGL display has no OpenGL pbuffer configuration";
        return nullptr;
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        reason = "EGL could not make an OpenGL 3.3 core context";
        return nullptr;
    }
    made->context_ = context;
    EGLSurface surface = EGL_NO_SURFACE;
    if (!hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        const EGLint pbufferAttributes[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        surface = eglCreatePbufferSurface(display, config, pbufferAttributes);
        if (surface == EGL_NO_SURFACE) {
            reason = "EGL could not make a pbuffer to make the context current on";
            return nullptr;
        }
        made->surface_ = surface;
    }
    if (eglMakeCurrent(display, surface, surface, context) != EGL_TRUE) {
        reason = "the EGL context could not be made current";
        return nullptr;
    }
    return made;
}

EglContext::~EglContext()
{
    if (display_ == nullptr) {
        return;
    }
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_ != nullptr) {
        eglDestroySurface(display_, surface_);
    }
    if (context_ != nullptr) {
        eglDestroyContext(display_, context_);
    }
    eglTerminate(display_);
}

std::string EglContext::renderer() const
{
    const GLubyte* name = glGetString(GL_RENDERER);
    return name != nullptr ? reinterpret_cast<const char*>(name) : "unknown";
}

} // namespace gl
