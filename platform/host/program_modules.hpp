// The three libraries the program loads by name, as a host puts them in
// the module table: "d3d9.dll" with the host's device, "d3dx9_24.dll" with
// the assembler, and "user32.dll" with the window system (left out where
// there is no display, so the program ends as it does without one).
#pragma once

#include "d3d9.h"

namespace host {

using Direct3DCreate9Function = IDirect3D9*(WINAPI*)(UINT sdkVersion);

// Replaces whatever the table held.
void installProgramModules(Direct3DCreate9Function direct3DCreate9, bool withWindowSystem);
void removeProgramModules();

} // namespace host
