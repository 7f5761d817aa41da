#include "host/catch_up.hpp"

#include <limits>

namespace host {

CatchUp::CatchUp(std::int32_t targetMs) : target_(targetMs)
{
    schedule_.keep = {targetMs};
    schedule_.stopAfterMs = std::numeric_limits<std::int32_t>::max(); // never Escape: the run goes on
    schedule_.onFrame = [this](const d3d9::Frame&, std::int32_t) { reached_ = true; };
    display_ = std::make_unique<VirtualDisplay>(schedule_, log_);
}

bool CatchUp::present(const d3d9::Frame& frame)
{
    display_->present(frame); // on to the next retrace, or the target
    return reached_;
}

bool CatchUp::goOnTo(std::int32_t targetMs)
{
    if (targetMs < display_->elapsed()) {
        return false;
    }
    if (reached_) {
        schedule_.keep.push_back(targetMs);
        reached_ = false;
    } else {
        schedule_.keep.back() = targetMs; // still on the way to the last
    }
    target_ = targetMs;
    framesBefore_ = log_.frames.size();
    return true;
}

} // namespace host
