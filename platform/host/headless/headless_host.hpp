// The headless host: runs the program's own WinMain on a virtual display,
// with no window system underneath, through any back end (one that needs a
// GL context gets a headless EGL one).
//
// Time is virtual and deterministic. The display retraces at a fixed rate
// (60 Hz unless asked otherwise), phased so that a retrace falls on the
// program's start time; Present waits for the next retrace, Sleep advances
// the clock. When a frame is wanted at an elapsed time between two
// retraces, the display presents it at exactly that time instead, so every
// wanted frame's animation time is exactly the one asked for, and the
// frames before it ran at the display rate. After the last wanted frame the
// host presses Escape, and the program shuts down by its own path.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "d3d9/backend.hpp"

namespace headless {

struct HeadlessOptions {
    std::string device = "software";   // a back end's name
    std::int32_t refreshRate = 60;     // retraces a second
    bool multisample = true;           // the device offers multisampling
    std::int32_t threads = 0;          // rasterizer threads, 0: one a core
    bool referenceShading = false;     // programs on the reference machine, not compiled (tests)
    std::int32_t renderScale = 1;      // the device draws at this multiple of the program's size (1 to 4)
    std::vector<std::int32_t> keep;    // elapsed times (ms, ascending) of the frames wanted
    bool renderEveryFrame = false;     // pixel work for every frame, kept or not (benchmarks)
    std::int32_t stopAfterMs = -1;     // press Escape at the first frame at or past this time (-1: after the last kept)
    // Each kept frame, with its elapsed time.
    std::function<void(const d3d9::Frame& frame, std::int32_t elapsedMs)> onFrame;
    // After every frame of the loop, with its elapsed time.
    std::function<void(std::int32_t elapsedMs)> onProgress;
    // Asked after every frame: true presses Escape now (an interrupted recording).
    std::function<bool()> stopRequested;
};

struct FrameTiming {
    std::int32_t elapsedMs; // the frame's animation time
    double wallMs;          // wall time from the previous frame's Present (or the loop's start) to this one's
    bool rendered;          // whether its pixel work was done
};

struct HeadlessResult {
    int exitCode = 0;                  // WinMain's
    std::string deviceError;           // non-empty: the back end could not be had (WinMain did not run)
    std::int32_t framesPresented = 0;  // the blank start-up frame included
    double startupMs = 0.0;            // wall time from WinMain's start to its first frame
    std::vector<FrameTiming> frames;   // every frame of the loop, in order
};

// The elapsed times at which a display of this rate presents, from first to
// last inclusive (the frames a run with no wanted times would show).
std::vector<std::int32_t> retraceTimes(std::int32_t first, std::int32_t last, std::int32_t refreshRate);

// Runs the program once. Installs the modules and the clock and removes
// them again afterwards.
HeadlessResult runHeadless(const HeadlessOptions& options);

} // namespace headless
