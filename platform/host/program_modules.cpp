#include "host/program_modules.hpp"

#include "d3d9/runtime.hpp"
#include "d3dx9.h"
#include "win32/module_table.hpp"
#include "win32/window_system.hpp"

namespace host {

void installProgramModules(const d3d9::BackendDescription& backend, d3d9::BackendOptions options,
                           bool withWindowSystem)
{
    win32::removeAllModules();
    d3d9::useBackend(backend, std::move(options));
    win32::installModule("d3d9.dll", {{"Direct3DCreate9", win32::exportEntry(&d3d9::createDirect3D9)}});
    win32::installModule("d3dx9_24.dll", {{"D3DXAssembleShader", win32::exportEntry(&D3DXAssembleShader)}});
    if (withWindowSystem) {
        win32::installModule("user32.dll", win32::user32Exports());
    }
}

void removeProgramModules()
{
    win32::removeAllModules();
    d3d9::useNoBackend();
}

} // namespace host
