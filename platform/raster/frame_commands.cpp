#include "raster/frame_commands.hpp"

#include <algorithm>
#include <limits>

namespace raster {

ClearCommand& FrameCommands::addClear(std::int32_t firstRow, std::int32_t endRow)
{
    if (clearCount_ == clears_.size()) {
        clears_.emplace_back();
    }
    order_.push_back({CommandKind::Clear, clearCount_, firstRow, endRow});
    return clears_[clearCount_++];
}

DrawCommand& FrameCommands::addDraw()
{
    if (drawCount_ == draws_.size()) {
        draws_.emplace_back();
    }
    order_.push_back({CommandKind::Draw, drawCount_, 0, 0});
    DrawCommand& draw = draws_[drawCount_++];
    draw.triangles.clear();
    draw.stopped = false;
    return draw;
}

void FrameCommands::setDrawRows()
{
    for (Command& command : order_) {
        if (command.kind != CommandKind::Draw || command.index < shaded_) {
            continue;
        }
        command.firstRow = std::numeric_limits<std::int32_t>::max();
        command.endRow = std::numeric_limits<std::int32_t>::min();
        for (const ScreenTriangle& t : draws_[command.index].triangles) {
            command.firstRow = std::min(command.firstRow, t.minY);
            command.endRow = std::max(command.endRow, t.maxY + 1);
        }
    }
    shaded_ = drawCount_;
}

void FrameCommands::bin(std::int32_t bands, std::int32_t bandRows)
{
    bins_.resize(static_cast<std::size_t>(bands));
    for (std::vector<std::uint32_t>& bin : bins_) {
        bin.clear();
    }
    for (std::size_t i = 0; i < order_.size(); ++i) {
        const Command& command = order_[i];
        if (command.kind == CommandKind::Draw && draws_[command.index].triangles.empty()) {
            continue;
        }
        const std::int32_t first = std::max(command.firstRow, 0) / bandRows;
        const std::int32_t end = std::min((std::max(command.endRow, 0) + bandRows - 1) / bandRows, bands);
        for (std::int32_t band = first; band < end; ++band) {
            bins_[static_cast<std::size_t>(band)].push_back(static_cast<std::uint32_t>(i));
        }
    }
}

void FrameCommands::reset()
{
    held_.clear();
    std::fill(std::begin(lastHeld_), std::end(lastHeld_), nullptr);
    order_.clear();
    clearCount_ = drawCount_ = shaded_ = 0;
    constants_.clear();
}

} // namespace raster
