#include "host/sdl/player_settings.hpp"

#include <cstdio>
#include <cstdlib>
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

// Whole decimal digits as a number no larger than limit; false otherwise.
bool readDigits(const std::string& text, std::int64_t limit, std::int64_t& value)
{
    if (text.empty() || text.size() > 12) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return value <= limit;
}

} // namespace

bool readStartTime(const std::string& text, std::int32_t& ms)
{
    constexpr std::int64_t Day = 24 * 3600 * 1000;
    std::int64_t value = 0;
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        if (!readDigits(text, Day, value)) {
            return false;
        }
        ms = static_cast<std::int32_t>(value);
        return true;
    }
    // m:ss or m:ss.fff: seconds below 60, at most three decimals.
    std::int64_t minutes = 0, seconds = 0, fraction = 0;
    const std::string secondsText = text.substr(colon + 1);
    const std::size_t dot = secondsText.find('.');
    const std::string whole = secondsText.substr(0, dot);
    const std::string decimals = dot == std::string::npos ? "0" : secondsText.substr(dot + 1);
    if (!readDigits(text.substr(0, colon), 24 * 60, minutes) || whole.size() != 2 ||
        !readDigits(whole, 59, seconds) || decimals.size() > 3 || !readDigits(decimals, 999, fraction)) {
        return false;
    }
    for (std::size_t k = decimals.size(); k < 3; ++k) {
        fraction *= 10;
    }
    value = (minutes * 60 + seconds) * 1000 + fraction;
    if (value > Day) {
        return false;
    }
    ms = static_cast<std::int32_t>(value);
    return true;
}

PlayerEnvironment readEnvironment()
{
    return {std::getenv("DEMO_DEVICE"), std::getenv("DEMO_WINDOWED"), std::getenv("DEMO_STATS"),
            std::getenv("DEMO_SCALE")};
}

bool readPlayerSettings(const PlayerEnvironment& environment, PlayerSettings& out, std::string& why)
{
    PlayerSettings settings;
    const char* device = environment.device;
    if (device != nullptr && device[0] != '\0') {
        settings.device = host::findBackend(device);
        if (settings.device == nullptr) {
            why = "DEMO_DEVICE must be one of " + host::backendNames() + ", not \"" + device + "\"";
            return false;
        }
    }
    if (!readSwitch("DEMO_WINDOWED", environment.windowed, settings.windowed, why) ||
        !readSwitch("DEMO_STATS", environment.stats, settings.stats, why)) {
        return false;
    }
    if (environment.scale != nullptr && environment.scale[0] != '\0' &&
        !readRenderChoice(environment.scale, settings.render, why)) {
        why = "DEMO_SCALE " + why;
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
    std::string scale;
    app.add_option("--device", device, host::backendNames() + ": the device (default: gl where it can be had)")
        ->type_name("NAME");
    app.add_flag("--windowed", windowed, "a 1024 x 768 window (resizable) instead of the whole screen");
    app.add_flag("--stats", stats, "frame rate, CPU time a frame and the size drawn at on stderr");
    app.add_option("--scale", scale,
                   "the size the device draws at: auto (default: the picture's size on the screen; the software "
                   "device as large as keeps the display's rate), 1 to 4 times the program's 1024 x 768, or WxH")
        ->type_name("auto|1|2|3|4|WxH");
    std::string start;
    bool paused = false;
    app.add_option("--start", start,
                   "begin at this time of the demo: milliseconds, or minutes and seconds as 1:20 or 0:40.84 "
                   "(the frames before it run at once, without being drawn, as `demokit record` runs them)")
        ->type_name("TIME");
    app.add_flag("--paused", paused, "paused from the first picture shown (Space plays)");
    bool loop = false;
    app.add_flag("--loop", loop, "start again from the beginning when the demo ends (for exhibitions)");
    std::string vsync = "on";
    app.add_option("--vsync", vsync, "off: present each frame at once, without waiting for the display (for measuring)")
        ->type_name("on|off")
        ->check(CLI::IsMember({"on", "off"}));
    app.footer("Keys (the program itself sees only the others):\n"
               "  Space            pause and play on (the demo's clock stands still)\n"
               "  Right, Left      5 s on, 5 s back\n"
               "  Page Up, Down    30 s on, 30 s back\n"
               "  Home             the beginning\n"
               "  . and ,          paused: a frame (1/60 s) on, a frame back\n"
               "  Alt+Enter, F11   the whole screen or a window, back and forth\n"
               "  F12              the picture as drawn, as a PNG in the pictures folder\n"
               "                   (XDG_PICTURES_DIR, else ~/Pictures, else the working folder)\n"
               "  Escape           end\n"
               "A seek lands on exactly the frame `demokit record --at` makes for that time.\n"
               "\n"
               "The environment says the same where the command line is silent:\n"
               "  DEMO_DEVICE=NAME, DEMO_WINDOWED=1, DEMO_STATS=1, DEMO_SCALE=auto|1|2|3|4|WxH\n"
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
    std::string why;
    if (!scale.empty() && !readRenderChoice(scale, settings.render, why)) {
        std::fprintf(stderr, "demo: --scale %s\n", why.c_str());
        return {false, 2};
    }
    if (!start.empty() && !readStartTime(start, settings.startMs)) {
        std::fprintf(stderr, "demo: --start takes milliseconds or m:ss (e.g. 40840 or 0:40.84), not \"%s\"\n",
                     start.c_str());
        return {false, 2};
    }
    settings.windowed = settings.windowed || windowed;
    settings.stats = settings.stats || stats;
    settings.paused = paused;
    settings.loop = loop;
    settings.vsync = vsync == "on";
    return {};
}

} // namespace sdlhost
