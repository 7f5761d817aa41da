// Test support: an IDirect3D9 and IDirect3DDevice9 that draw nothing and
// write every call, with its arguments, as one line to the Win32 trace sink,
// so that a test reads the program's Win32 and Direct3D calls as one log.
//
// It behaves as a device must for the program to run: buffers and textures
// hold real memory (texture rows are padded past 512 bytes, so code that
// ignores the pitch shows), shader bytecode is measured and copied, objects
// are reference counted and counted while alive. It can refuse the
// multisample check, the device, or the Direct3D object itself.
// Line formats: objects are named by kind and number (vb1, tex3, ...);
// floats print with %.9g, so equal text means equal bits.
#pragma once

#include <cstdint>
#include <functional>

#include "d3d9.h"

namespace recording {

struct DeviceOptions {
    bool failDirect3DCreate = false; // Direct3DCreate9 gives NULL
    bool refuseMultisample = false;  // the check answers D3DERR_NOTAVAILABLE
    bool refuseDevice = false;       // CreateDevice answers D3DERR_NOTAVAILABLE
    INT texturePitch = 512 + 64;     // bytes per locked row of a 128-pixel texture
    std::function<void()> onPresent; // after each Present is logged
};

// The options the next Direct3DCreate9 uses.
void configure(DeviceOptions options);
// The recording runtime's Direct3DCreate9, for the module table.
IDirect3D9* WINAPI createDirect3D(UINT sdkVersion);
// Objects made and not yet destroyed.
std::int32_t liveObjectCount();

// FNV-1a over bytes: the texture contents in UpdateTexture lines.
std::uint64_t fnv1a(const void* data, std::size_t size, std::uint64_t hash = 0xcbf29ce484222325ull);

} // namespace recording
