// The player's settings, from its command line and from the environment
// (the program's own WinMain takes no command line; the player does):
// --device / DEMO_DEVICE (a back end's name, or unset for the first that
// can be had, a GL one first), --windowed / DEMO_WINDOWED=1 for a window
// instead of the whole screen, --stats / DEMO_STATS=1 for frame figures on
// stderr at the end, --scale / DEMO_SCALE for the size the device draws
// at (auto, a multiple of the program's size, or WxH). The command line
// wins where both say something. --start, --paused, --loop and --vsync are
// the command line's alone.
#pragma once

#include <cstdint>
#include <string>

#include "d3d9/backend.hpp"
#include "host/sdl/render_size_choice.hpp"

namespace sdlhost {

struct PlayerSettings {
    const d3d9::BackendDescription* device = nullptr; // NULL: chosen automatically
    bool windowed = false;
    bool stats = false;
    RenderChoice render;
    std::int32_t startMs = 0; // --start: the demo's time to begin at
    bool paused = false;      // --paused: paused from the first frame shown
    bool loop = false;        // --loop: the run starts again when the timeline ends
    bool vsync = true;        // --vsync off: present without waiting for the retrace
};

// A time as --start takes it: milliseconds ("40840") or minutes and seconds
// ("0:40.84", "1:20"); false for anything else or past a day.
bool readStartTime(const std::string& text, std::int32_t& ms);

// The environment's values (NULL: unset).
struct PlayerEnvironment {
    const char* device = nullptr;   // DEMO_DEVICE
    const char* windowed = nullptr; // DEMO_WINDOWED
    const char* stats = nullptr;    // DEMO_STATS
    const char* scale = nullptr;    // DEMO_SCALE
};
PlayerEnvironment readEnvironment();

// False with the reason for a value it does not know.
bool readPlayerSettings(const PlayerEnvironment& environment, PlayerSettings& out, std::string& why);

// What the command line asks: play with the settings, or stop at once with
// `exitCode` (0 after --help or --version, printed on stdout; 2 after a bad
// argument, with one line on stderr).
struct CommandLineOutcome {
    bool play = true;
    int exitCode = 0;
};
CommandLineOutcome readPlayerCommandLine(int argc, char** argv, PlayerSettings& settings);

} // namespace sdlhost
