// Where the back buffer lands in a window (or a page's canvas) of another
// size: scaled as large as fits, aspect kept, centred, the rest black.
// Pixels, y down. Every host shows the picture so, and draws it at that size.
#pragma once

#include <cstdint>

#include "d3d9/backend.hpp"

namespace host {

struct FitRect {
    std::int32_t x, y, width, height;
};

FitRect fitKeepingAspect(std::int32_t windowWidth, std::int32_t windowHeight, std::int32_t imageWidth,
                         std::int32_t imageHeight);

// The picture's size in a drawable of this size: the program's back
// buffer fitted as above.
d3d9::RenderSize shownSize(std::int32_t drawableWidth, std::int32_t drawableHeight, d3d9::RenderSize program);

} // namespace host
