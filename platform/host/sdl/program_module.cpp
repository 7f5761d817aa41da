#include "host/sdl/program_module.hpp"

#include <dlfcn.h>

#include <filesystem>

namespace sdlhost {

std::string programModulePath()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path folder = error ? std::filesystem::path(".") : self.parent_path();
    return (folder / ".." / "lib" / "demo" / "demo-program.so").lexically_normal().string();
}

std::unique_ptr<ProgramModule> ProgramModule::load(const std::string& path, std::string& why)
{
    // Still loaded (a module that cannot be unloaded): its tables are a
    // finished run's, not fresh ones.
    if (void* stale = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
        dlclose(stale);
        why = path + " is still loaded from the last run";
        return nullptr;
    }
    std::unique_ptr<ProgramModule> module(new ProgramModule());
    module->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module->handle_ == nullptr) {
        const char* error = dlerror();
        why = error != nullptr ? error : "cannot load " + path;
        return nullptr;
    }
    void* entry = dlsym(module->handle_, "demoProgramEntry");
    if (entry == nullptr) {
        why = path + " has no demoProgramEntry";
        return nullptr;
    }
    module->entry_ = reinterpret_cast<host::ProgramEntry>(entry);
    return module;
}

ProgramModule::~ProgramModule()
{
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

} // namespace sdlhost
