#include "raster/frame_work.hpp"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <thread>

namespace raster {
namespace {

constexpr std::int32_t BandRows = 16; // rows a worker takes at a time
constexpr std::uint32_t DrawsATurn = 8; // draws a worker takes at a time for their geometry

std::int32_t workersFor(std::int32_t threads)
{
    return threads > 0 ? threads : std::max(1, static_cast<std::int32_t>(std::thread::hardware_concurrency()));
}

} // namespace

const FrameWork::CommandScan FrameWork::CommandScans[] = {&FrameWork::scanClear, &FrameWork::scanDraw};
static_assert(static_cast<std::size_t>(CommandKind::Clear) == 0 && static_cast<std::size_t>(CommandKind::Draw) == 1,
              "CommandScans is in the order of CommandKind");

FrameWork::FrameWork(RenderTarget& target, std::vector<std::uint32_t>& frame, std::int32_t threads)
    : target_(target), frame_(frame), pool_(workersFor(threads))
{
    scratch_.resize(static_cast<std::size_t>(pool_.size()));
    bandClears_.resize(static_cast<std::size_t>((target.height + BandRows - 1) / BandRows));
    for (BandClears& band : bandClears_) {
        band.reset(target.width);
    }
}

void FrameWork::finishGeometry(FrameCommands& recording)
{
    const std::uint32_t count = recording.drawCount();
    if (recording.firstUnshaded() == count) {
        return;
    }
    pool_.finish();
    std::atomic<std::uint32_t> next{recording.firstUnshaded()};
    pool_.runOnAll([&](std::int32_t worker) {
        GeometryScratch& scratch = scratch_[static_cast<std::size_t>(worker)];
        for (std::uint32_t first = next.fetch_add(DrawsATurn); first < count; first = next.fetch_add(DrawsATurn)) {
            for (std::uint32_t d = first; d < std::min(first + DrawsATurn, count); ++d) {
                DrawCommand& draw = recording.draw(d);
                runGeometry(draw, recording.constantsOf(draw), scratch);
            }
        }
    });
    recording.setDrawRows();
}

void FrameWork::startPixelWork(FrameCommands& commands, bool resolveFrame)
{
    pool_.finish(); // the frame before
    commands.bin(bandCount(), BandRows);
    if (resolveFrame) {
        std::lock_guard<std::mutex> hold(resolvedMutex_);
        resolved_ = false;
        takeResolved_ = nullptr;
    }
    auto next = std::make_shared<std::atomic<std::int32_t>>(0);
    auto done = std::make_shared<std::atomic<std::int32_t>>(0);
    const std::int32_t bands = bandCount();
    pool_.start([this, &commands, next, done, bands, resolveFrame](std::int32_t) {
        for (std::int32_t band = (*next)++; band < bands; band = (*next)++) {
            scanBand(commands, band, resolveFrame);
            if (resolveFrame && ++*done == bands) {
                handOverResolved();
            }
        }
    });
}

// Rows of one band: every command that reaches them, in order, then (when
// asked) their resolve into the frame.
void FrameWork::scanBand(const FrameCommands& commands, std::int32_t band, bool resolveBand)
{
    static_assert(std::size(CommandScans) == CommandKinds, "every kind of command has its scan");
    const Band rows = {band * BandRows, std::min(band * BandRows + BandRows, target_.height),
                       bandClears_[static_cast<std::size_t>(band)]};
    for (const std::uint32_t i : commands.commandsInBand(band)) {
        const Command& command = commands.commands()[i];
        (this->*CommandScans[static_cast<std::size_t>(command.kind)])(commands, command.index, rows);
    }
    if (resolveBand) {
        rows.clears.resolve(target_, rows.firstRow, rows.endRow, frame_.data());
    }
}

// A clear of the band's whole width is held back (BandClears); any other
// gives the held-back values to the blocks it reaches first.
void FrameWork::scanClear(const FrameCommands& commands, std::uint32_t index, const Band& band)
{
    const ClearCommand& clear = commands.clear(index);
    const std::int32_t firstRow = band.firstRow, endRow = band.endRow;
    BandClears& clears = band.clears;
    for (const D3DRECT& r : clear.rects) {
        const std::int32_t y1 = std::max(static_cast<std::int32_t>(r.y1), firstRow);
        const std::int32_t y2 = std::min(static_cast<std::int32_t>(r.y2), endRow);
        if (y1 >= y2) {
            continue;
        }
        if (r.x1 <= 0 && r.x2 >= target_.width && y1 == firstRow && y2 == endRow) {
            clears.clearWhole(clear.colour, clear.colourValue, clear.depth, clear.depthValue);
            continue;
        }
        clears.apply(target_, firstRow, endRow, r.x1, r.x2);
        if (clear.colour) {
            clearColor(target_, r.x1, y1, r.x2, y2, clear.colourValue);
        }
        if (clear.depth) {
            clearDepth(target_, r.x1, y1, r.x2, y2, clear.depthValue);
        }
    }
}

void FrameWork::scanDraw(const FrameCommands& commands, std::uint32_t index, const Band& band)
{
    const DrawCommand& draw = commands.draw(index);
    const std::int32_t firstRow = band.firstRow, endRow = band.endRow;
    BandClears& clears = band.clears;
    if (clears.waiting()) { // the blocks that each triangle's box reaches in the band
        for (const ScreenTriangle& t : draw.triangles) {
            if (t.minY < endRow && t.maxY >= firstRow) {
                clears.apply(target_, firstRow, endRow, t.minX, t.maxX + 1);
            }
        }
    }
    rasterizeTriangles(target_, *draw.state, draw.triangles.data(), draw.triangles.size(), firstRow, endRow);
}

// On the worker that resolved the last band: the frame is whole.
void FrameWork::handOverResolved()
{
    std::function<void(const std::uint32_t*)> take;
    {
        std::lock_guard<std::mutex> hold(resolvedMutex_);
        resolved_ = true;
        take = std::move(takeResolved_);
        takeResolved_ = nullptr;
    }
    if (take) {
        take(frame_.data());
    }
}

// A frame already whole is handed over at once; else the worker that
// finishes it does so, before the next frame's work can start.
void FrameWork::whenResolved(std::function<void(const std::uint32_t*)> take)
{
    {
        std::lock_guard<std::mutex> hold(resolvedMutex_);
        if (!resolved_) {
            takeResolved_ = std::move(take);
            return;
        }
    }
    take(frame_.data());
}

} // namespace raster
