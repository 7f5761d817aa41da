#include "host/sdl/render_size_choice.hpp"

#include <algorithm>
#include <cstdio>

namespace sdlhost {

bool readRenderChoice(const std::string& text, RenderChoice& out, std::string& why)
{
    RenderChoice choice;
    if (text == "auto") {
        out = choice;
        return true;
    }
    if (text.size() == 1 && text[0] >= '1' && text[0] <= '4') {
        choice.kind = RenderChoice::Kind::Scale;
        choice.scale = text[0] - '0';
        out = choice;
        return true;
    }
    int width = 0, height = 0, used = 0;
    if (std::sscanf(text.c_str(), "%5dx%5d%n", &width, &height, &used) == 2 &&
        used == static_cast<int>(text.size()) && width >= 1 && height >= 1 && width <= d3d9::MaxRenderSide &&
        height <= d3d9::MaxRenderSide && text.find_first_of("+- ") == std::string::npos) {
        choice.kind = RenderChoice::Kind::Size;
        choice.size = {width, height};
        out = choice;
        return true;
    }
    why = "takes auto, 1 to 4, or a size WxH of at most " + std::to_string(d3d9::MaxRenderSide) + " a side, not \"" +
          text + "\"";
    return false;
}

d3d9::RenderSize AdaptiveRenderSize::sizeFor(d3d9::RenderSize shown, d3d9::RenderSize program)
{
    const std::int32_t eighths = std::max(8 - steps_, 1);
    const d3d9::RenderSize stepped = {shown.width * eighths / 8, shown.height * eighths / 8};
    // The floor: the program's size, or the picture's where that is smaller.
    const bool programFloor = shown.width >= program.width && shown.height >= program.height;
    const d3d9::RenderSize floor = programFloor ? program : shown;
    atFloor_ = stepped.width <= floor.width || stepped.height <= floor.height;
    return atFloor_ ? floor : stepped;
}

bool AdaptiveRenderSize::frameMade(double workMs)
{
    if (settling_ > 0) {
        --settling_;
        return false;
    }
    workMs_.push_back(workMs);
    if (workMs_.size() < JudgedFrames) {
        return false;
    }
    const auto slowTenth = workMs_.begin() + static_cast<std::ptrdiff_t>(workMs_.size() * 9 / 10);
    std::nth_element(workMs_.begin(), slowTenth, workMs_.end());
    const bool behind = *slowTenth > refreshMs_ * 0.8;
    workMs_.clear();
    if (!behind || atFloor_) {
        return false;
    }
    ++steps_;
    settling_ = SettleFrames;
    return true;
}

} // namespace sdlhost
