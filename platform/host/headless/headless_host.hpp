// The headless host: runs the program's own WinMain on a virtual display
// (host/virtual_display), with no window system underneath, through any
// back end (one that needs a GL context gets a headless EGL one). Time is
// virtual and the run deterministic.
#pragma once

#include <cstdint>
#include <string>

#include "host/virtual_display.hpp"

namespace headless {

using host::FrameTiming;
using host::retraceTimes;

// The device, and the frames wanted (the schedule's fields).
struct HeadlessOptions : host::DisplaySchedule {
    std::string device = "software";   // a back end's name
    bool multisample = true;           // the device offers multisampling
    std::int32_t threads = 0;          // rasterizer threads, 0: one a core
    bool referenceShading = false;     // programs on the reference machine, not compiled (tests)
    std::int32_t renderScale = 1;      // the device draws at this multiple of the program's size (1 to 4)
    // Or at exactly this size, of any shape (both nonzero), as a window's
    // picture is drawn at its size in device pixels: a capture drawn at the
    // size it is kept at.
    std::int32_t renderWidth = 0;
    std::int32_t renderHeight = 0;
};

// The display's log (startupMs, frames) and how the run ended.
struct HeadlessResult : host::DisplayLog {
    int exitCode = 0;                  // WinMain's
    std::string deviceError;           // non-empty: the back end could not be had (WinMain did not run)
    std::int32_t framesPresented = 0;  // the blank start-up frame included
};

// Runs the program once. Installs the modules and the clock and removes
// them again afterwards.
HeadlessResult runHeadless(const HeadlessOptions& options);

} // namespace headless
