// The player's settings. The program takes no command line, so they come
// from the environment: DEMO_DEVICE (gl, software, or unset for OpenGL
// where a context can be made), DEMO_WINDOWED=1 for a window instead of the
// whole screen, DEMO_STATS=1 for frame figures on stderr at the end.
#pragma once

#include <string>

namespace sdlhost {

enum class DeviceChoice { Automatic, OpenGl, Software };

struct PlayerSettings {
    DeviceChoice device = DeviceChoice::Automatic;
    bool windowed = false;
    bool stats = false;
};

// False with the reason for a value it does not know.
bool readPlayerSettings(const char* device, const char* windowed, const char* stats, PlayerSettings& out,
                        std::string& why);

} // namespace sdlhost
