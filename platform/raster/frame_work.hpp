// The scheduling of a frame's work over the worker pool, with one frame in
// flight as a GPU queues one:
// - geometry: the recorded draws not yet done, a few at a time on every
//   worker (before a buffer they read changes, and at Present);
// - pixels: at Present the frame's commands are binned by band of rows,
//   and the workers take bands in turn, each band running its commands in
//   order (so the picture does not depend on who takes which) and, when
//   asked, resolving its rows into the frame, while the program goes on
//   with the next frame. The worker that resolves the last band hands the
//   frame over to whoever waits for it.
// Owns the pool, each worker's scratch and each band's held-back clears;
// the target, the frame and the queue in flight are the back end's.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "raster/band_clears.hpp"
#include "raster/frame_commands.hpp"
#include "raster/geometry_stage.hpp"
#include "raster/worker_pool.hpp"

namespace raster {

class FrameWork {
public:
    // threads 0: one a core.
    FrameWork(RenderTarget& target, std::vector<std::uint32_t>& frame, std::int32_t threads);
    ~FrameWork() { pool_.finish(); } // the frame in flight reads the back end's members
    FrameWork(const FrameWork&) = delete;
    FrameWork& operator=(const FrameWork&) = delete;

    // Runs the geometry of the recorded draws that have not had it (the
    // frame in flight is finished first: its workers are needed).
    void finishGeometry(FrameCommands& recording);
    // Starts the pixel work of `commands` (their geometry done), which must
    // stand until it is finished.
    void startPixelWork(FrameCommands& commands, bool resolveFrame);
    // Waits for the frame in flight.
    void finish() { pool_.finish(); }
    // See d3d9::FrameSource::whenResolved.
    void whenResolved(std::function<void(const std::uint32_t*)> take);

private:
    // The rows of one band, and its held-back clears.
    struct Band {
        std::int32_t firstRow;
        std::int32_t endRow;
        BandClears& clears;
    };
    using CommandScan = void (FrameWork::*)(const FrameCommands&, std::uint32_t index, const Band& band);
    static const CommandScan CommandScans[]; // one a kind of command, in the order of CommandKind

    void scanBand(const FrameCommands& commands, std::int32_t band, bool resolveBand);
    void scanClear(const FrameCommands& commands, std::uint32_t index, const Band& band);
    void scanDraw(const FrameCommands& commands, std::uint32_t index, const Band& band);
    void handOverResolved();
    std::int32_t bandCount() const { return static_cast<std::int32_t>(bandClears_.size()); }

    RenderTarget& target_;
    std::vector<std::uint32_t>& frame_; // the resolved back buffer
    WorkerPool pool_;
    std::vector<GeometryScratch> scratch_; // one a worker
    std::vector<BandClears> bandClears_;   // one a band; each touched only by the worker scanning that band
    // The frame in flight's hand-over: whether frame_ holds it resolved,
    // and who waits for it.
    std::mutex resolvedMutex_;
    bool resolved_ = true;
    std::function<void(const std::uint32_t*)> takeResolved_;
};

} // namespace raster
