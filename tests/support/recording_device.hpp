// Test support: the Direct3D 9 runtime's own front end over a back end that
// draws nothing, with the front end's call trace on the Win32 trace sink,
// so that a test reads the program's Win32 and Direct3D calls as one log.
// Every check is the real runtime's: this device cannot disagree with the
// software and OpenGL devices on what the program may do.
//
// Texture rows are padded past 512 bytes, so code that ignores the pitch
// shows. It can refuse the multisample check, the device, or the Direct3D
// object itself. Line formats are the front end's trace: objects by kind
// and number (vb1, tex3, ...), floats with %.9g.
#pragma once

#include <cstdint>
#include <functional>

#include "d3d9.h"

namespace recording {

struct DeviceOptions {
    bool failDirect3DCreate = false; // Direct3DCreate9 gives NULL
    bool refuseMultisample = false;  // the adapter offers no multisampling
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
