// The software Direct3D 9 runtime: IDirect3D9 and IDirect3DDevice9 on the
// CPU for the subset the program uses, executing its assembled vertex and
// pixel programs. The reference picture: deterministic to the bit.
//
// A host installs softwareDirect3DCreate9 as "d3d9.dll"'s Direct3DCreate9
// and configures, before the program creates its device, where presented
// frames go and whether a frame's pixels are wanted.
#pragma once

#include <cstdint>
#include <functional>

#include "d3d9.h"

namespace raster {

// One presented frame: the resolved back buffer, A8R8G8B8, row-major,
// width pixels a row, row 0 at the top. Valid during the callback only.
struct PresentedFrame {
    std::int32_t width;
    std::int32_t height;
    const std::uint32_t* pixels;
    bool rendered; // false when the frame's pixel work was skipped (pixels then hold the last rendered frame)
};

struct SoftwareOptions {
    bool multisampleSupported = true; // 2 and 4 samples, as a device with them answers the check
    std::int32_t threads = 0;         // rasterizer threads; 0: one a core
    // Called from Present with the resolved frame, before Present returns.
    std::function<void(const PresentedFrame&)> onPresent;
    // Asked when a frame's first draw arrives: false skips that frame's
    // vertex and pixel work (clears included); the calls are still checked.
    std::function<bool()> wantsPixels;
};

// The options the next device is made with.
void configureSoftwareDevice(SoftwareOptions options);
// "d3d9.dll"'s Direct3DCreate9 for the software runtime.
IDirect3D9* WINAPI softwareDirect3DCreate9(UINT sdkVersion);

} // namespace raster
