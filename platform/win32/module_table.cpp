// kernel32's module functions over the host's module table.
#include "win32/module_table.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <utility>

#include "win32/api_trace.hpp"
#include "win32/call_line.hpp"

namespace win32 {
namespace {

struct Module {
    std::string name;                   // as installed
    std::vector<ModuleExport> exports;  // symbol table
    int loadCount = 0;                  // LoadLibraryA calls not yet freed
    std::uintptr_t handle = 0;          // nonzero while loaded
};

struct ModuleTable {
    std::vector<Module> modules;
    std::uintptr_t nextHandle = 0x10000000; // module handles, never reused
};

ModuleTable& table()
{
    static ModuleTable instance;
    return instance;
}

bool sameName(const std::string& a, const char* b)
{
    const std::size_t length = std::strlen(b);
    if (a.size() != length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

Module* findByName(const char* name)
{
    for (Module& module : table().modules) {
        if (sameName(module.name, name)) {
            return &module;
        }
    }
    return nullptr;
}

Module* findByHandle(HMODULE handle)
{
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    for (Module& module : table().modules) {
        if (module.handle != 0 && module.handle == value) {
            return &module;
        }
    }
    return nullptr;
}

HMODULE handleOf(const Module& module)
{
    return reinterpret_cast<HMODULE>(module.handle);
}

// The program's own image, what GetModuleHandleA(NULL) names.
HINSTANCE programInstance()
{
    return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x00400000));
}

} // namespace

void installModule(const std::string& name, std::vector<ModuleExport> exports)
{
    if (Module* existing = findByName(name.c_str())) {
        existing->exports = std::move(exports);
        return;
    }
    Module module;
    module.name = name;
    module.exports = std::move(exports);
    table().modules.push_back(std::move(module));
}

void removeModule(const std::string& name)
{
    auto& modules = table().modules;
    modules.erase(std::remove_if(modules.begin(), modules.end(),
                                 [&](const Module& m) { return sameName(m.name, name.c_str()); }),
                  modules.end());
}

void removeAllModules()
{
    table().modules.clear();
}

int moduleLoadCount(const std::string& name)
{
    const Module* module = findByName(name.c_str());
    return module == nullptr ? 0 : module->loadCount;
}

} // namespace win32

using namespace win32;

namespace {

// A module handle as the line shows it: the module's name, or "invalid".
auto moduleText(HMODULE handle)
{
    return line::lazy([handle] {
        const Module* module = findByHandle(handle);
        return module == nullptr ? std::string("invalid") : module->name;
    });
}

} // namespace

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    ApiCall call("LoadLibraryA", line::quotedText(lpLibFileName));
    Module* module = lpLibFileName == nullptr ? nullptr : findByName(lpLibFileName);
    if (module == nullptr) {
        return lpLibFileName == nullptr ? call.refuse<HMODULE>(nullptr, "NULL", ERROR_INVALID_PARAMETER, "no name")
                                        : call.refuse<HMODULE>(nullptr, "NULL", ERROR_MOD_NOT_FOUND, "no such module");
    }
    if (module->loadCount++ == 0) {
        module->handle = table().nextHandle;
        table().nextHandle += 0x10000;
    }
    return call.returns(handleOf(*module), module->name);
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    ApiCall call("FreeLibrary", moduleText(hLibModule));
    Module* module = findByHandle(hLibModule);
    if (module == nullptr) {
        return call.refuse(FALSE, "0", ERROR_MOD_NOT_FOUND, "no such module");
    }
    if (--module->loadCount == 0) {
        module->handle = 0;
    }
    return call.returns(TRUE);
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    ApiCall call("GetProcAddress", moduleText(hModule), line::quotedText(lpProcName));
    const Module* module = findByHandle(hModule);
    if (module == nullptr) {
        return call.refuse<FARPROC>(nullptr, "NULL", ERROR_MOD_NOT_FOUND, "no such module");
    }
    if (lpProcName != nullptr) {
        for (const ModuleExport& entry : module->exports) {
            if (std::strcmp(entry.name, lpProcName) == 0) {
                return call.returns(entry.entry, "entry");
            }
        }
    }
    return call.refuse<FARPROC>(nullptr, "NULL", ERROR_PROC_NOT_FOUND, "no such export");
}

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    ApiCall call("GetModuleHandleA", line::quotedText(lpModuleName));
    if (lpModuleName == nullptr) {
        return call.returns(programInstance(), "program");
    }
    const Module* module = findByName(lpModuleName);
    if (module == nullptr || module->loadCount == 0) {
        return call.refuse<HMODULE>(nullptr, "NULL", ERROR_MOD_NOT_FOUND, "not loaded");
    }
    return call.returns(handleOf(*module), module->name);
}

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" DWORD WINAPI GetLastError()
{
    return lastError;
}

extern "C" void WINAPI SetLastError(DWORD dwErrCode)
{
    lastError = dwErrCode;
}
