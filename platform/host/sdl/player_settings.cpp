#include "host/sdl/player_settings.hpp"

#include <cstring>

#include "host/backend_list.hpp"

namespace sdlhost {
namespace {

// Unset, empty and "0" are off, "1" is on.
bool readSwitch(const char* name, const char* value, bool& out, std::string& why)
{
    if (value == nullptr || value[0] == '\0' || std::strcmp(value, "0") == 0) {
        out = false;
        return true;
    }
    if (std::strcmp(value, "1") == 0) {
        out = true;
        return true;
    }
    why = std::string(name) + " must be 0 or 1, not \"" + value + "\"";
    return false;
}

} // namespace

bool readPlayerSettings(const char* device, const char* windowed, const char* stats, PlayerSettings& out,
                        std::string& why)
{
    PlayerSettings settings;
    if (device != nullptr && device[0] != '\0') {
        settings.device = host::findBackend(device);
        if (settings.device == nullptr) {
            why = "DEMO_DEVICE must be one of " + host::backendNames() + ", not \"" + device + "\"";
            return false;
        }
    }
    if (!readSwitch("DEMO_WINDOWED", windowed, settings.windowed, why) ||
        !readSwitch("DEMO_STATS", stats, settings.stats, why)) {
        return false;
    }
    out = settings;
    return true;
}

} // namespace sdlhost
