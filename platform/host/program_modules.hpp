// The three libraries the program loads by name, as a host puts them in
// the module table: "d3d9.dll" with the Direct3D 9 runtime over the chosen
// back end, "d3dx9_24.dll" with the assembler, and "user32.dll" with the
// window system (left out where there is no display, so the program ends
// as it does without one).
#pragma once

#include "d3d9/backend.hpp"

namespace host {

// Replaces whatever the table held, and the runtime's back end.
void installProgramModules(const d3d9::BackendDescription& backend, d3d9::BackendOptions options,
                           bool withWindowSystem);
void removeProgramModules();

} // namespace host
