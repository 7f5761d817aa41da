#include "host/sdl/window_fit.hpp"

namespace sdlhost {

FitRect fitKeepingAspect(std::int32_t windowWidth, std::int32_t windowHeight, std::int32_t imageWidth,
                         std::int32_t imageHeight)
{
    if (windowWidth <= 0 || windowHeight <= 0 || imageWidth <= 0 || imageHeight <= 0) {
        return {0, 0, 0, 0};
    }
    // Compare windowWidth / windowHeight with imageWidth / imageHeight in
    // integers: the wider side gets the bars.
    const std::int64_t wide = static_cast<std::int64_t>(windowWidth) * imageHeight;
    const std::int64_t tall = static_cast<std::int64_t>(windowHeight) * imageWidth;
    std::int32_t width = windowWidth;
    std::int32_t height = windowHeight;
    if (wide > tall) {
        width = static_cast<std::int32_t>(tall / imageHeight); // pillar-box
    } else {
        height = static_cast<std::int32_t>(wide / imageWidth); // letter-box
    }
    return {(windowWidth - width) / 2, (windowHeight - height) / 2, width, height};
}

} // namespace sdlhost
