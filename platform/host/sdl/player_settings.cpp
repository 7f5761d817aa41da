#include "host/sdl/player_settings.hpp"

#include <cstdio>
#include <cstring>

#include <CLI/CLI.hpp>

#include "demo_version.hpp"
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

CommandLineOutcome readPlayerCommandLine(int argc, char** argv, PlayerSettings& settings)
{
    CLI::App app("Plays the demo full screen; Escape or closing the window ends it.", "demo");
    app.set_version_flag("--version", "demo " DEMO_VERSION, "print the version and exit");
    std::string device;
    bool windowed = false;
    bool stats = false;
    app.add_option("--device", device, host::backendNames() + ": the device (default: gl where it can be had)")
        ->type_name("NAME");
    app.add_flag("--windowed", windowed, "a 1024 x 768 window (resizable) instead of the whole screen");
    app.add_flag("--stats", stats, "frame rate and CPU time a frame on stderr at the end");
    app.footer("The environment says the same where the command line is silent:\n"
               "  DEMO_DEVICE=NAME, DEMO_WINDOWED=1, DEMO_STATS=1\n"
               "\n"
               "Without a display, `demokit record` renders the demo to images or video.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return {false, app.exit(help)};
    } catch (const CLI::CallForVersion& version) {
        return {false, app.exit(version)};
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "demo: %s (see demo --help)\n", error.what());
        return {false, 2};
    }
    if (!device.empty()) {
        settings.device = host::findBackend(device);
        if (settings.device == nullptr) {
            std::fprintf(stderr, "demo: --device must be one of %s, not \"%s\"\n", host::backendNames().c_str(),
                         device.c_str());
            return {false, 2};
        }
    }
    settings.windowed = settings.windowed || windowed;
    settings.stats = settings.stats || stats;
    return {};
}

} // namespace sdlhost
