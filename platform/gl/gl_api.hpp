// The OpenGL entry points the device uses: core profile prototypes, linked
// from the vendor-neutral libOpenGL, so that one build runs on an EGL
// context (headless) or a GLX one (a window). Internal to platform/gl.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
