// The size the player's device draws the program's back buffer at. By
// default the size the picture takes on the screen, in device pixels, so
// that nothing is magnified: the OpenGL device always; the software device
// at the largest size at which it keeps the display's rate, chosen while
// the demo plays. --scale / DEMO_SCALE forces a multiple of the program's
// size (1: as the program asks, nothing enlarged) or a size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "d3d9/backend.hpp"

namespace sdlhost {

struct RenderChoice {
    enum class Kind { Automatic, Scale, Size };
    Kind kind = Kind::Automatic;
    std::int32_t scale = 1;   // Kind::Scale: 1 to 4
    d3d9::RenderSize size;    // Kind::Size
};

// "auto", "1" to "4", or "WxH" (each side 1 to the largest a back end
// takes); false with the reason otherwise.
bool readRenderChoice(const std::string& text, RenderChoice& out, std::string& why);

// The software device's size, chosen while it plays: it starts at the
// picture's size on the screen; whenever the slowest tenth of a second's
// frames took more than four fifths of a refresh to make, it steps down by
// an eighth a side, never below the program's own size (or the picture's,
// where that is smaller), and never back up, so that the picture does not
// change size to and fro.
class AdaptiveRenderSize {
public:
    explicit AdaptiveRenderSize(double refreshMs) : refreshMs_(refreshMs) {}

    // The size to draw at now, for a picture of `shown` pixels.
    d3d9::RenderSize sizeFor(d3d9::RenderSize shown, d3d9::RenderSize program);
    // After each frame: the time it took to make, waiting for the retrace
    // left out. True when the size steps down.
    bool frameMade(double workMs);
    // The eighths a side taken off so far.
    std::int32_t steps() const { return steps_; }

private:
    static constexpr std::size_t SettleFrames = 5;  // after a change: a new back end warming up
    static constexpr std::size_t JudgedFrames = 60; // a second at 60 Hz

    double refreshMs_;
    std::int32_t steps_ = 0;
    bool atFloor_ = false; // the last size asked was the smallest offered
    std::size_t settling_ = SettleFrames;
    std::vector<double> workMs_;
};

} // namespace sdlhost
