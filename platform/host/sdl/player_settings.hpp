// The player's settings, from its command line and from the environment
// (the program's own WinMain takes no command line; the player does):
// --device / DEMO_DEVICE (a back end's name, or unset for the first that
// can be had, a GL one first), --windowed / DEMO_WINDOWED=1 for a window
// instead of the whole screen, --stats / DEMO_STATS=1 for frame figures on
// stderr at the end. The command line wins where both say something.
#pragma once

#include <string>

#include "d3d9/backend.hpp"

namespace sdlhost {

struct PlayerSettings {
    const d3d9::BackendDescription* device = nullptr; // NULL: chosen automatically
    bool windowed = false;
    bool stats = false;
};

// False with the reason for a value it does not know.
bool readPlayerSettings(const char* device, const char* windowed, const char* stats, PlayerSettings& out,
                        std::string& why);

// What the command line asks: play with the settings, or stop at once with
// `exitCode` (0 after --help or --version, printed on stdout; 2 after a bad
// argument, with one line on stderr).
struct CommandLineOutcome {
    bool play = true;
    int exitCode = 0;
};
CommandLineOutcome readPlayerCommandLine(int argc, char** argv, PlayerSettings& settings);

} // namespace sdlhost
