// The OpenGL Direct3D 9 runtime: IDirect3D9 and IDirect3DDevice9 on an
// OpenGL 3.3 core context for the subset the program uses, its programs
// translated to GLSL. Same checks and refusals as the software device.
//
// The host makes a context current before the program creates its device
// and keeps it current on that thread until the device is released. Frames
// are drawn into the device's own framebuffer (the presentation size,
// D16 depth, four samples when asked for and offered) and resolved at
// Present into a single-sample framebuffer handed to the host.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "d3d9.h"

namespace gl {

// The resolved back buffer: a GL framebuffer name, bottom-up as GL stores it.
struct GlFrame {
    unsigned framebuffer;
    std::int32_t width;
    std::int32_t height;
    bool rendered; // false when the frame's pixel work was skipped (the framebuffer holds the last rendered frame)
};

struct GlOptions {
    bool multisampleSupported = true; // offer 2x/4x (when the context can)
    // From Present, context current: the host blits/swaps or reads back.
    std::function<void(const GlFrame&)> onPresent;
    // Like SoftwareOptions: false skips the frame's draws and clears.
    std::function<bool()> wantsPixels;
    // Shader compile/link errors, one line each (default: stderr).
    std::function<void(const std::string&)> onError;
};

// The options the next device is made with.
void configureGlDevice(GlOptions options);
// "d3d9.dll"'s Direct3DCreate9 for the OpenGL runtime.
IDirect3D9* WINAPI glDirect3DCreate9(UINT sdkVersion);
// The frame's pixels as A8R8G8B8, row 0 at the top (like raster::PresentedFrame).
void readFramePixels(const GlFrame& frame, std::vector<std::uint32_t>& out);

} // namespace gl
