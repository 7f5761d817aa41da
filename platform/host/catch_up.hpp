// A run's way to a time of the demo, for hosts that let a viewer begin at a
// time or seek (the player, the page): the program's frames up to it run on
// a virtual display (its clock: install it, or have a clock follow it), on
// the frame times `demokit record` uses and without pixel work, and the
// frame at the time itself is presented at exactly that time. It is then
// the state `record --at` reaches. The run goes on from there; while it
// still runs on the display, it may go on to a later time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "d3d9/backend.hpp"
#include "host/virtual_display.hpp"

namespace host {

class CatchUp {
public:
    explicit CatchUp(std::int32_t targetMs);

    // The display's clock.
    win32::Clock& clock() { return *display_; }
    std::int32_t target() const { return target_; }
    bool reached() const { return reached_; }
    // Whether the frame being drawn is wanted: the one at the target.
    bool wantsPixels() { return display_->wantsPixels(); }
    // At each Present on the way: true once the frame at the target was
    // presented.
    bool present(const d3d9::Frame& frame);
    // On to a later time than the frame the display draws next (false,
    // with nothing changed, when that frame is already past it).
    bool goOnTo(std::int32_t targetMs);
    // Frames run since the last target was set.
    std::size_t framesRun() const { return log_.frames.size() - framesBefore_; }

private:
    DisplaySchedule schedule_;
    DisplayLog log_;
    std::unique_ptr<VirtualDisplay> display_;
    std::int32_t target_ = 0;
    bool reached_ = false;
    std::size_t framesBefore_ = 0;
};

} // namespace host
