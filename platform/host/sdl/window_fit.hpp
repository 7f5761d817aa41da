// Where the back buffer lands in a window of another size: scaled as large
// as fits, aspect kept, centred, the rest black. Pixels, y down.
#pragma once

#include <cstdint>

namespace sdlhost {

struct FitRect {
    std::int32_t x, y, width, height;
};

FitRect fitKeepingAspect(std::int32_t windowWidth, std::int32_t windowHeight, std::int32_t imageWidth,
                         std::int32_t imageHeight);

} // namespace sdlhost
