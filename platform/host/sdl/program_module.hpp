// The program loaded afresh from its module file (lib/demo/demo-program.so
// beside the player's bin/), for a run that must begin as a new process
// begins: the program's tables are process-wide, and a run that ended left
// them as it ended. Each load is the module's image as built; unloading
// it (the destructor) lets the next load be fresh again.
#pragma once

#include <memory>
#include <string>

#include "host/program_modules.hpp"

namespace sdlhost {

// Where the module lies for the running player: ../lib/demo/demo-program.so
// from the player's folder (the build tree and an installation alike).
std::string programModulePath();

class ProgramModule {
public:
    // Null with the reason when the module cannot be loaded fresh.
    static std::unique_ptr<ProgramModule> load(const std::string& path, std::string& why);
    ~ProgramModule();
    ProgramModule(const ProgramModule&) = delete;
    ProgramModule& operator=(const ProgramModule&) = delete;

    host::ProgramEntry entry() const { return entry_; }

private:
    ProgramModule() = default;

    void* handle_ = nullptr;
    host::ProgramEntry entry_ = nullptr;
};

} // namespace sdlhost
