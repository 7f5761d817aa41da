// The three libraries the program loads by name, as a host puts them in
// the module table: "d3d9.dll" with the Direct3D 9 runtime over the chosen
// back end, "d3dx9_24.dll" with the assembler, and "user32.dll" with the
// window system (left out where there is no display, so the program ends
// as it does without one).
//
// runProgram is what every host does around the program: the modules in,
// WinMain as Windows starts it, then every window it left and the modules
// gone again.
#pragma once

#include "d3d9/backend.hpp"
#include "windows.h"
#include "win32/window_system.hpp"

namespace host {

// The class of the program's one window, which hosts find it by.
constexpr const char* ProgramWindowClass = "demo";

// Replaces whatever the table held, and the runtime's back end.
void installProgramModules(const d3d9::BackendDescription& backend, d3d9::BackendOptions options,
                           bool withWindowSystem);
void removeProgramModules();

// The program's entry point: the linked-in WinMain, or one loaded from a
// module.
using ProgramEntry = decltype(&WinMain);

// Runs the program once on the back end: no command line, SW_SHOWNORMAL.
// WinMain's exit code. Inline, so that the program's WinMain is the
// caller's to link.
inline int runProgram(const d3d9::BackendDescription& backend, d3d9::BackendOptions options,
                      bool withWindowSystem, ProgramEntry entry = &WinMain)
{
    installProgramModules(backend, std::move(options), withWindowSystem);
    const int code = entry(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);
    win32::resetWindowSystem();
    removeProgramModules();
    return code;
}

} // namespace host
