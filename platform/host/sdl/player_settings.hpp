// The player's settings. The program takes no command line, so they come
// from the environment: DEMO_DEVICE (a back end's name, or unset for the
// first that can be had, a GL one first), DEMO_WINDOWED=1 for a window
// instead of the whole screen, DEMO_STATS=1 for frame figures on stderr at
// the end.
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

} // namespace sdlhost
