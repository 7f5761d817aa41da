#include "host/program_modules.hpp"

#include "d3dx9.h"
#include "win32/module_table.hpp"
#include "win32/window_system.hpp"

namespace host {

void installProgramModules(Direct3DCreate9Function direct3DCreate9, bool withWindowSystem)
{
    win32::removeAllModules();
    win32::installModule("d3d9.dll", {{"Direct3DCreate9", win32::exportEntry(direct3DCreate9)}});
    win32::installModule("d3dx9_24.dll", {{"D3DXAssembleShader", win32::exportEntry(&D3DXAssembleShader)}});
    if (withWindowSystem) {
        win32::installModule("user32.dll", win32::user32Exports());
    }
}

void removeProgramModules()
{
    win32::removeAllModules();
}

} // namespace host
