#include "host/picture_fit.hpp"

namespace host {

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

d3d9::RenderSize shownSize(std::int32_t drawableWidth, std::int32_t drawableHeight, d3d9::RenderSize program)
{
    const FitRect fit = fitKeepingAspect(drawableWidth, drawableHeight, program.width, program.height);
    return {fit.width, fit.height};
}

} // namespace host
