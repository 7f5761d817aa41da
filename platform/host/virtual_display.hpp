// The virtual display and clock that a host runs the program on when time
// must be deterministic: headless recording, and the browser's ?at= mode.
//
// The display retraces at a fixed rate (60 Hz unless asked otherwise),
// phased so that a retrace falls on the program's start time; Present
// waits for the next retrace, Sleep advances the clock. When a frame is
// wanted at an elapsed time between two retraces, the display presents it
// at exactly that time instead, so every wanted frame's animation time is
// exactly the one asked for, and the frames before it ran at the display
// rate. After the last wanted frame the display presses Escape, and the
// program shuts down by its own path.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "d3d9/backend.hpp"
#include "win32/clock.hpp"

namespace host {

// Which frames are wanted, and when the run ends.
struct DisplaySchedule {
    std::int32_t refreshRate = 60;     // retraces a second
    std::vector<std::int32_t> keep;    // elapsed times (ms, ascending) of the frames wanted
    bool renderEveryFrame = false;     // pixel work for every frame, kept or not (benchmarks)
    std::int32_t stopAfterMs = -1;     // press Escape at the first frame at or past this time (-1: after the last kept)
    // Each kept frame, with its elapsed time.
    std::function<void(const d3d9::Frame& frame, std::int32_t elapsedMs)> onFrame;
    // After every frame of the loop, with its elapsed time.
    std::function<void(std::int32_t elapsedMs)> onProgress;
    // Asked after every frame: true presses Escape now (an interrupted run).
    std::function<bool()> stopRequested;
};

struct FrameTiming {
    std::int32_t elapsedMs; // the frame's animation time
    double wallMs;          // wall time from the previous frame's Present (or the loop's start) to this one's
    bool rendered;          // whether its pixel work was done
};

// What the display saw of a run.
struct DisplayLog {
    double startupMs = 0.0;            // wall time from the display's making to the loop's first frame
    std::vector<FrameTiming> frames;   // every frame of the loop, in order
};

// The demo's timeline: its last channel ends before this elapsed time, and
// the picture stands from then on.
constexpr std::int32_t TimelineEndMs = 82000;

// Whether a display of this rate presents a frame at this elapsed time of
// its own accord (retrace k lies at floor(k * 1000 / rate) ms), and the
// retrace times just after and just before one (0 at the least).
bool isRetraceTime(std::int32_t ms, std::int32_t refreshRate);
std::int32_t nextRetraceAfter(std::int32_t ms, std::int32_t refreshRate);
std::int32_t previousRetraceBefore(std::int32_t ms, std::int32_t refreshRate);

// The elapsed times at which a display of this rate presents, from first to
// last inclusive (the frames a run with no wanted times would show).
std::vector<std::int32_t> retraceTimes(std::int32_t first, std::int32_t last, std::int32_t refreshRate);

// The clock (install it with win32::setClock) and the device's present
// sink (wantsPixels, present). Microseconds, so that every retrace of a
// whole-hertz display lands on an exact tick.
class VirtualDisplay final : public win32::Clock {
public:
    VirtualDisplay(const DisplaySchedule& schedule, DisplayLog& log) : schedule_(schedule), log_(log) {}

    std::uint32_t milliseconds() override { return static_cast<std::uint32_t>(now_ / 1000); }
    void sleep(std::uint32_t ms) override { now_ += static_cast<std::uint64_t>(ms) * 1000; }

    // Whether the frame being drawn is wanted (its pixel work is done).
    bool wantsPixels();
    void present(const d3d9::Frame& frame);
    // Frames presented so far, the blank start-up frame included.
    std::int32_t presents() const { return presents_; }
    // The elapsed time of the frame drawn next (-1 before the loop's first).
    std::int32_t elapsed() const;

private:
    using WallClock = std::chrono::steady_clock;

    void finishFrame(const d3d9::Frame& frame);
    void advance();

    const DisplaySchedule& schedule_;
    DisplayLog& log_;
    std::uint64_t now_ = 0;          // microseconds
    std::uint32_t startMs_ = 0;      // the program's start time
    std::int32_t presents_ = 0;
    std::size_t nextKept_ = 0;       // index into schedule_.keep
    bool escapeSent_ = false;
    bool started_ = false;
    WallClock::time_point runStart_ = WallClock::now();
    WallClock::time_point startedAt_ = runStart_;
    WallClock::time_point lastPresent_ = runStart_;
};

} // namespace host
