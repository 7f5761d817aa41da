// The Direct3D 9 runtime as a host installs it: "d3d9.dll"'s
// Direct3DCreate9 makes the front end's IDirect3D9 over the back end the
// host chose, with the options it chose (where frames go, multisampling,
// threads). One back end at a time, for the whole process, as one d3d9.dll
// is loaded.
#pragma once

#include "d3d9/backend.hpp"

namespace d3d9 {

// The back end and options the next Direct3DCreate9 uses.
void useBackend(const BackendDescription& backend, BackendOptions options);
// Back to none: Direct3DCreate9 then gives NULL.
void useNoBackend();
// The name of the back end in use ("" for none).
std::string_view backendInUse();

// "d3d9.dll"'s Direct3DCreate9: NULL for another SDK version, no back end,
// or a back end whose adapter cannot be opened.
IDirect3D9* WINAPI createDirect3D9(UINT sdkVersion);

} // namespace d3d9
