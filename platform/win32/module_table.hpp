// The module table behind LoadLibraryA, GetProcAddress, FreeLibrary and
// GetModuleHandleA: the "DLLs" a host provides, each a name and its exports.
//
// Names are matched without regard to case, as Windows does. A module is
// loaded while its load count is above zero; LoadLibraryA of a name that is
// not installed fails with ERROR_MOD_NOT_FOUND, which is how a host (or a
// test) leaves a library out. Handles stay distinct for the life of the
// process; a freed module's handle no longer resolves.
#pragma once

#include <string>
#include <vector>

#include "windows.h"

namespace win32 {

struct ModuleExport {
    const char* name; // exported symbol, e.g. "Direct3DCreate9"
    FARPROC entry;    // its address
};

// Makes name loadable with these exports (replacing an earlier entry).
void installModule(const std::string& name, std::vector<ModuleExport> exports);
// Makes name unloadable again; a loaded module is unloaded first.
void removeModule(const std::string& name);
void removeAllModules();
// The current load count of name (0 when not loaded or not installed).
int moduleLoadCount(const std::string& name);

// Turns an ordinary function into an export entry.
template <typename Function>
FARPROC exportEntry(Function* function)
{
    // Through the generic function pointer type, which converts to any other.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

} // namespace win32
