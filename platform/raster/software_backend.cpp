// The software back end behind the front end.
//
// Clears and draws are recorded as they arrive, each draw with a snapshot of
// the constants its vertex program reads. At Present (or before a buffer
// they read changes) every worker of a pool that lives as long as the
// device takes draws for their vertex work and set-up, each draw's
// triangles its own. Then the workers scan the frame band by band, every
// band taking the clears and draws in order, so that the picture does not
// depend on the number of threads, and resolve it, while the program goes
// on with the next frame: one frame in flight, as a GPU queues one. Reading
// the frame, or writing a texture, waits for it.
#include "raster/software_backend.hpp"

#include <algorithm>
#include <atomic>
#include <limits>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "d3d9/draw_state.hpp"
#include "d3d9/failures.hpp"
#include "d3d9/resources.hpp"
#include "raster/band_clears.hpp"
#include "raster/pixel_stage.hpp"
#include "raster/vertex_routine.hpp"
#include "raster/vertex_stage.hpp"
#include "raster/worker_pool.hpp"

namespace raster {
namespace {

constexpr std::int32_t BandRows = 16; // rows a rasterizer thread takes at a time

// A program's analysis (what the shader machine runs) and, compiled, the
// routine that runs it; shared with queued draws.
struct ProgramCopy final : d3d9::DeviceCopy {
    std::shared_ptr<const shader::ProgramAnalysis> program;
    std::shared_ptr<const VertexRoutine> routine;                // a vertex program compiled; NULL: the machine runs it
    std::shared_ptr<const shader::CompiledProgram> pixelRoutine; // a pixel program compiled; likewise
};

const ProgramCopy& copyOf(const d3d9::Shader& shader)
{
    const auto* copy = static_cast<const ProgramCopy*>(shader.copy());
    PLATFORM_ASSERT(copy != nullptr);
    return *copy;
}

const std::shared_ptr<const shader::ProgramAnalysis>& programOf(const d3d9::Shader& shader)
{
    return copyOf(shader).program;
}

CullMode cullModeOf(DWORD value)
{
    switch (value) {
    case D3DCULL_NONE: return CullMode::None;
    case D3DCULL_CCW: return CullMode::CounterClockwise;
    default: return CullMode::Clockwise;
    }
}

// The vertex inputs and varyings of a layout and pair of programs; shared
// by the draws made while they stand.
struct VertexLayout {
    std::vector<d3d9::InputBinding> bindings;
    std::vector<shader::Varying> varyings;
};

// A clear or a draw as recorded, in the order the program made them. A
// draw carries everything its vertex work needs, with a snapshot of the
// constant registers its program reads, and (once the vertex work has run)
// its triangles, ready to scan with the pixel work they need.
struct QueuedItem {
    bool isClear = false;
    // A clear:
    std::vector<D3DRECT> rects;
    DWORD clearFlags = 0;
    D3DCOLOR clearColour = 0;
    float clearZ = 1.0f;
    // A draw:
    // (The queue holds these objects while it holds the draw.)
    d3d9::DrawCall call = {};
    const shader::ProgramAnalysis* program = nullptr;
    const VertexRoutine* routine = nullptr; // NULL: the machine runs the program
    const VertexLayout* layout = nullptr;
    const DrawState* state = nullptr; // shared by the draws that follow while no pixel state changes
    std::size_t constants = 0;              // the snapshot's first float in the queue's constant pool
    const std::uint8_t* stream = nullptr;   // the front end's memory; vertex work is done before it changes
    std::size_t streamSize = 0;
    std::size_t streamOffset = 0;
    std::uint32_t stride = 0;
    const std::uint8_t* indices = nullptr;
    std::size_t indexBytes = 2;
    std::vector<ScreenTriangle> triangles; // kept between frames for its capacity
    std::int32_t firstRow = 0;             // the rows the triangles (or the clear) touch
    std::int32_t endRow = 0;
};

// The clears and draws of a frame, in order. Items are reused from frame to
// frame, for the room their vectors have.
struct WorkQueue {
    std::vector<QueuedItem> items;
    std::size_t count = 0;        // items in use
    std::size_t vertexDone = 0;   // items whose vertex work has run
    std::vector<float> constants; // the draws' constant snapshots
    // The programs, layouts and states the draws point to, each held once
    // for a run of draws that use it (a count per draw would cost two
    // atomic operations a pointer).
    enum Held { Program, Routine, Layout, State, HeldKinds }; // the pointers a draw has
    std::vector<std::shared_ptr<const void>> held;
    const void* lastHeld[HeldKinds] = {};
    // For each band of rows, the items that reach it, in order (made once
    // the vertex work is done): a band need not look at every item.
    std::vector<std::vector<std::uint32_t>> bins;

    // Holds what `object` points to while the queue holds the draws.
    template <typename T>
    const T* hold(const std::shared_ptr<T>& object, Held kind)
    {
        if (object != nullptr && object.get() != lastHeld[kind]) {
            held.push_back(object);
            lastHeld[kind] = object.get();
        }
        return object.get();
    }

    QueuedItem& add()
    {
        if (count == items.size()) {
            items.emplace_back();
        }
        return items[count++];
    }
    void reset()
    {
        held.clear(); // programs and states may go; the items' vectors keep their room
        std::fill(std::begin(lastHeld), std::end(lastHeld), nullptr);
        count = vertexDone = 0;
        constants.clear();
    }
};

// What a worker reuses from draw to draw.
struct WorkerScratch {
    std::vector<float> constants = std::vector<float>(4 * d3d9::VertexConstantRegisters, 0.0f);
    std::vector<ShadedVertex> shaded;
    std::vector<std::uint32_t> corners;
    std::vector<float> routineFile; // the vertex routine's registers
};

class SoftwareBackend final : public d3d9::Backend, private d3d9::FrameSource {
public:
    SoftwareBackend(const D3DPRESENT_PARAMETERS& p, const d3d9::BackendOptions& options)
        : pool_(options.threads > 0 ? options.threads
                                    : std::max(1, static_cast<std::int32_t>(std::thread::hardware_concurrency())))
    {
        const auto width = static_cast<std::int32_t>(p.BackBufferWidth);
        const auto height = static_cast<std::int32_t>(p.BackBufferHeight);
        target_.resize(width, height, p.MultiSampleType >= D3DMULTISAMPLE_2_SAMPLES ? 4 : 1);
        // A new back buffer shows opaque black, its depth buffer the far plane.
        clearColor(target_, 0, 0, width, height, 0xFF000000u);
        clearDepth(target_, 0, 0, width, height, 1.0f);
        frame_.assign(static_cast<std::size_t>(width) * height, 0xFF000000u);
        scratch_.resize(static_cast<std::size_t>(pool_.size()));
        referenceShading_ = options.referenceShading;
        clears_.resize(static_cast<std::size_t>((height + BandRows - 1) / BandRows));
        for (BandClears& band : clears_) {
            band.reset(width);
        }
    }
    ~SoftwareBackend() override { pool_.finish(); } // the frame in flight reads members

    std::unique_ptr<d3d9::DeviceCopy> copyProgram(const d3d9::Shader& shader) override
    {
        auto copy = std::make_unique<ProgramCopy>();
        copy->program = shader.sharedAnalysis();
        const shader::ProgramAnalysis& program = *copy->program;
        if (program.type == shader::ShaderType::Vertex && !referenceShading_) {
            auto routine = std::make_shared<VertexRoutine>(program);
            if (routine->compiled()) {
                copy->routine = std::move(routine);
            }
        } else if (!referenceShading_) {
            auto routine = std::make_shared<shader::CompiledProgram>(program.whole, program.type);
            if (routine->compiled()) {
                copy->pixelRoutine = std::move(routine);
            }
        }
        return copy;
    }
    bool exactPositions() const override { return true; } // the shader machine's bits
    void beforeResourceChange(const d3d9::ResourceBase& resource) override;
    void clear(const d3d9::ClearCall& call, const d3d9::DrawState&) override;
    HRESULT draw(const d3d9::DrawCall& call, const d3d9::DrawState& state) override;
    d3d9::Frame present(bool rendered) override;

private:
    const std::uint32_t* readPixels() override
    {
        pool_.finish(); // the frame in flight
        return frame_.data();
    }
    void whenResolved(std::function<void(const std::uint32_t*)> take) override;
    void handOverResolved();

    std::shared_ptr<const DrawState> makeDrawState(const d3d9::DrawState& state) const;
    std::size_t snapshotConstants(const d3d9::DrawState& state, const shader::ProgramAnalysis& program);
    void runVertexWork(QueuedItem& draw, WorkerScratch& scratch) const;
    void finishVertexWork();
    void startPixelWork(bool resolveFrame);
    void rasterizeBand(const WorkQueue& queue, std::int32_t band, bool resolveBand);
    void clearInBand(const QueuedItem& clear, std::int32_t band, std::int32_t firstRow, std::int32_t endRow);
    void binItems(WorkQueue& queue) const;
    RenderTarget target_;
    std::vector<std::uint32_t> frame_; // the resolved back buffer
    WorkerPool pool_;
    std::vector<WorkerScratch> scratch_; // one a worker
    WorkQueue queues_[2];
    WorkQueue* recording_ = &queues_[0]; // the frame the program is making
    WorkQueue* inFlight_ = &queues_[1];  // the frame being scanned while the program makes the next
    std::shared_ptr<const VertexLayout> layout_; // kept while the layout stands
    std::uint64_t layoutVersion_ = ~0ull;
    std::uint64_t constantsVersion_ = ~0ull; // of the last snapshot
    const shader::ProgramAnalysis* constantsProgram_ = nullptr;
    std::size_t lastSnapshot_ = 0;
    std::shared_ptr<const DrawState> drawState_; // kept while the pixel state stands
    std::uint64_t pixelVersion_ = ~0ull;
    bool referenceShading_ = false;
    std::vector<BandClears> clears_; // one a band; each touched only by the worker scanning that band
    // The frame in flight's hand-over: whether frame_ holds it resolved,
    // and who waits for it (the worker that resolves its last band calls).
    std::mutex resolvedMutex_;
    bool resolved_ = true;
    std::function<void(const std::uint32_t*)> takeResolved_;
};

// Corner numbers relative to MinVertexIndex, three a triangle. A corner
// outside the announced vertex range is not shaded: its triangle is left
// out rather than read from nowhere.
template <typename Index>
void gatherCorners(const QueuedItem& draw, std::vector<std::uint32_t>& corners)
{
    const d3d9::DrawCall& call = draw.call;
    const std::uint8_t* first = draw.indices + std::size_t{call.startIndex} * sizeof(Index);
    auto indexAt = [&](std::size_t i) {
        Index value;
        std::memcpy(&value, first + i * sizeof(Index), sizeof(Index));
        return static_cast<std::uint32_t>(value);
    };
    corners.resize(3 * std::size_t{call.primitiveCount});
    std::size_t kept = 0;
    for (UINT p = 0; p < call.primitiveCount; ++p) {
        std::uint32_t c[3];
        if (call.type == D3DPT_TRIANGLELIST) {
            c[0] = indexAt(3u * p), c[1] = indexAt(3u * p + 1), c[2] = indexAt(3u * p + 2);
        } else if (call.type == D3DPT_TRIANGLESTRIP) {
            const bool odd = (p & 1) != 0; // every other triangle swaps two corners to keep the winding
            c[0] = indexAt(p), c[1] = indexAt(odd ? p + 2 : p + 1), c[2] = indexAt(odd ? p + 1 : p + 2);
        } else {
            c[0] = indexAt(0), c[1] = indexAt(p + 1), c[2] = indexAt(p + 2);
        }
        bool inside = true;
        for (std::uint32_t& corner : c) {
            inside = inside && corner >= call.minIndex && corner - call.minIndex < call.vertexCount;
            corner -= call.minIndex;
        }
        corners[kept] = c[0], corners[kept + 1] = c[1], corners[kept + 2] = c[2];
        kept += inside ? 3 : 0;
    }
    corners.resize(kept);
}

void gatherTriangles(const QueuedItem& draw, std::vector<std::uint32_t>& corners)
{
    if (draw.indexBytes == 4) {
        gatherCorners<std::uint32_t>(draw, corners);
    } else {
        gatherCorners<std::uint16_t>(draw, corners);
    }
}

std::shared_ptr<const DrawState> SoftwareBackend::makeDrawState(const d3d9::DrawState& state) const
{
    auto made = std::make_shared<DrawState>();
    DrawState& draw = *made;
    const D3DVIEWPORT9& v = state.viewport;
    draw.viewport = {static_cast<std::int32_t>(v.X), static_cast<std::int32_t>(v.Y), static_cast<std::int32_t>(v.Width),
                     static_cast<std::int32_t>(v.Height), v.MinZ, v.MaxZ};
    draw.cull = cullModeOf(state.renderStates[D3DRS_CULLMODE]);
    draw.depthTest =
        state.renderStates[D3DRS_ZENABLE] != D3DZB_FALSE && state.renderStates[D3DRS_ZFUNC] != D3DCMP_ALWAYS;
    draw.depthWrite = state.renderStates[D3DRS_ZENABLE] != D3DZB_FALSE && state.renderStates[D3DRS_ZWRITEENABLE] != 0;
    PixelStageInput input;
    input.program = programOf(*state.pixelShader);
    input.routine = copyOf(*state.pixelShader).pixelRoutine;
    input.constants.assign(state.pixelConstants, state.pixelConstants + 4 * d3d9::PixelConstantRegisters);
    for (std::uint32_t s = 0; s < d3d9::SamplerCount; ++s) {
        const d3d9::Texture* texture = state.textures[s];
        input.samplers[s] = texture == nullptr
                                ? shader::SamplerTexture{}
                                : shader::SamplerTexture{texture->texels(), static_cast<std::int32_t>(texture->width()),
                                                 static_cast<std::int32_t>(texture->height()),
                                                 static_cast<std::int32_t>(texture->pitch())};
    }
    draw.varyingCount = static_cast<std::int32_t>(input.program->varyings.size());
    readVaryingComponents(input, draw.varyingComponents);
    draw.shade = makePixelShader(std::move(input));
    return made;
}

// The registers the program reads, copied into the queue's pool (once for
// the draws that follow while neither the constants nor the program change).
std::size_t SoftwareBackend::snapshotConstants(const d3d9::DrawState& state, const shader::ProgramAnalysis& program)
{
    if (constantsVersion_ == state.vertexConstantsVersion && constantsProgram_ == &program) {
        return lastSnapshot_;
    }
    std::vector<float>& pool = recording_->constants;
    lastSnapshot_ = pool.size();
    for (const std::uint32_t n : program.whole.constantsRead) {
        pool.insert(pool.end(), state.vertexConstants + 4 * n, state.vertexConstants + 4 * n + 4);
    }
    constantsVersion_ = state.vertexConstantsVersion;
    constantsProgram_ = &program;
    return lastSnapshot_;
}

// Clears wait in the queue like draws, so that they run with the scanning,
// band by band, on every worker.
void SoftwareBackend::clear(const d3d9::ClearCall& call, const d3d9::DrawState&)
{
    QueuedItem& item = recording_->add();
    item.isClear = true;
    item.rects.assign(call.rects, call.rects + call.rectCount);
    item.clearFlags = call.flags;
    item.clearColour = call.color;
    item.clearZ = call.z;
    item.firstRow = target_.height;
    item.endRow = 0;
    for (const D3DRECT& r : item.rects) {
        item.firstRow = std::min(item.firstRow, static_cast<std::int32_t>(r.y1));
        item.endRow = std::max(item.endRow, static_cast<std::int32_t>(r.y2));
    }
    item.triangles.clear();
    if (recording_->vertexDone + 1 == recording_->count) {
        ++recording_->vertexDone; // nothing to shade
    }
}

HRESULT SoftwareBackend::draw(const d3d9::DrawCall& call, const d3d9::DrawState& state)
{
    if (layout_ == nullptr || layoutVersion_ != state.layoutVersion) {
        auto layout = std::make_shared<VertexLayout>();
        layout->bindings = d3d9::bindInputs(*state.elements, state.vertexShader->analysis().inputs);
        layout->varyings = state.pixelShader->analysis().varyings;
        layout_ = std::move(layout);
        layoutVersion_ = state.layoutVersion;
    }
    if (drawState_ == nullptr || pixelVersion_ != state.pixelVersion) {
        drawState_ = makeDrawState(state);
        pixelVersion_ = state.pixelVersion;
    }
    QueuedItem& queued = recording_->add();
    queued.isClear = false;
    queued.call = call;
    const ProgramCopy& vertexProgram = copyOf(*state.vertexShader);
    queued.program = recording_->hold(vertexProgram.program, WorkQueue::Program);
    queued.routine = recording_->hold(vertexProgram.routine, WorkQueue::Routine);
    queued.layout = recording_->hold(layout_, WorkQueue::Layout);
    queued.state = recording_->hold(drawState_, WorkQueue::State);
    queued.constants = snapshotConstants(state, *queued.program);
    queued.stream = state.stream->bytes();
    queued.streamSize = state.stream->size();
    queued.streamOffset = state.streamOffset;
    queued.stride = state.streamStride;
    queued.indices = state.indices->bytes();
    queued.indexBytes = state.indices->format() == D3DFMT_INDEX32 ? 4 : 2;
    queued.triangles.clear();
    return D3D_OK;
}

// A recorded draw's vertex work and set-up, on any worker: its triangles
// depend on nothing but the draw.
void SoftwareBackend::runVertexWork(QueuedItem& draw, WorkerScratch& scratch) const
{
    draw.triangles.clear();
    draw.firstRow = draw.endRow = 0;
    const shader::ProgramAnalysis& program = *draw.program;
    const float* snapshot = recording_->constants.data() + draw.constants;
    VertexStageInput input;
    input.program = &program;
    input.bindings = draw.layout->bindings;
    input.stream = {draw.stream, draw.streamSize, draw.streamOffset, draw.stride};
    input.firstVertex = static_cast<std::int64_t>(draw.call.baseVertex) + draw.call.minIndex;
    input.vertexCount = static_cast<std::int32_t>(draw.call.vertexCount);
    input.varyings = draw.layout->varyings;
    if (draw.routine != nullptr) {
        input.constants = nullptr;
        draw.routine->shade(input, snapshot, scratch.shaded, scratch.routineFile);
    } else {
        for (const std::uint32_t n : program.whole.constantsRead) {
            std::memcpy(scratch.constants.data() + 4 * n, snapshot, 4 * sizeof(float)); // the others are never read
            snapshot += 4;
        }
        input.constants = scratch.constants.data();
        shadeVertices(input, scratch.shaded);
    }
    gatherTriangles(draw, scratch.corners);
    setupTriangles(*draw.state, scratch.shaded.data(), scratch.corners.data(), scratch.corners.size() / 3,
                   draw.triangles);
    draw.firstRow = std::numeric_limits<std::int32_t>::max();
    draw.endRow = std::numeric_limits<std::int32_t>::min();
    for (const ScreenTriangle& t : draw.triangles) {
        draw.firstRow = std::min(draw.firstRow, t.minY);
        draw.endRow = std::max(draw.endRow, t.maxY + 1);
    }
}

// Runs the vertex work of the recorded draws that have not had it, a few
// draws at a time on every worker (the frame in flight is finished first:
// its workers are needed).
void SoftwareBackend::finishVertexWork()
{
    WorkQueue& queue = *recording_;
    if (queue.vertexDone == queue.count) {
        return;
    }
    pool_.finish();
    constexpr std::size_t DrawsATurn = 8;
    std::atomic<std::size_t> next{queue.vertexDone};
    pool_.runOnAll([&](std::int32_t worker) {
        for (std::size_t first = next.fetch_add(DrawsATurn); first < queue.count;
             first = next.fetch_add(DrawsATurn)) {
            for (std::size_t d = first; d < std::min(first + DrawsATurn, queue.count); ++d) {
                if (!queue.items[d].isClear) {
                    runVertexWork(queue.items[d], scratch_[static_cast<std::size_t>(worker)]);
                }
            }
        }
    });
    queue.vertexDone = queue.count;
}

// Buffers are read by vertex work alone, textures by scanning.
void SoftwareBackend::beforeResourceChange(const d3d9::ResourceBase& resource)
{
    finishVertexWork();
    if (resource.type() == D3DRTYPE_TEXTURE || resource.type() == D3DRTYPE_SURFACE) {
        pool_.finish();
        if (recording_->count > 0) {
            startPixelWork(false);
            pool_.finish();
        }
    }
}

void SoftwareBackend::clearInBand(const QueuedItem& clear, std::int32_t band, std::int32_t firstRow,
                                  std::int32_t endRow)
{
    BandClears& clears = clears_[static_cast<std::size_t>(band)];
    const bool colour = (clear.clearFlags & D3DCLEAR_TARGET) != 0;
    const bool depth = (clear.clearFlags & D3DCLEAR_ZBUFFER) != 0;
    for (const D3DRECT& r : clear.rects) {
        const std::int32_t y1 = std::max(static_cast<std::int32_t>(r.y1), firstRow);
        const std::int32_t y2 = std::min(static_cast<std::int32_t>(r.y2), endRow);
        if (y1 >= y2) {
            continue;
        }
        if (r.x1 <= 0 && r.x2 >= target_.width && y1 == firstRow && y2 == endRow) {
            clears.clearWhole(colour, clear.clearColour, depth, clear.clearZ);
            continue;
        }
        clears.apply(target_, firstRow, endRow, r.x1, r.x2);
        if (colour) {
            clearColor(target_, r.x1, y1, r.x2, y2, clear.clearColour);
        }
        if (depth) {
            clearDepth(target_, r.x1, y1, r.x2, y2, clear.clearZ);
        }
    }
}

// Rows of one band: every queued clear and draw that reaches them, in
// order, then (when asked) their resolve into the frame.
void SoftwareBackend::rasterizeBand(const WorkQueue& queue, std::int32_t band, bool resolveBand)
{
    const std::int32_t firstRow = band * BandRows;
    const std::int32_t endRow = std::min(firstRow + BandRows, target_.height);
    BandClears& clears = clears_[static_cast<std::size_t>(band)];
    for (const std::uint32_t i : queue.bins[static_cast<std::size_t>(band)]) {
        const QueuedItem& item = queue.items[i];
        if (item.isClear) {
            clearInBand(item, band, firstRow, endRow);
        } else {
            if (clears.waiting()) { // the blocks that each triangle's box reaches in the band
                for (const ScreenTriangle& t : item.triangles) {
                    if (t.minY < endRow && t.maxY >= firstRow) {
                        clears.apply(target_, firstRow, endRow, t.minX, t.maxX + 1);
                    }
                }
            }
            rasterizeTriangles(target_, *item.state, item.triangles.data(), item.triangles.size(), firstRow, endRow);
        }
    }
    if (resolveBand) {
        clears.resolve(target_, firstRow, endRow, frame_.data());
    }
}

// Sorts the items into the bands they reach, keeping their order.
void SoftwareBackend::binItems(WorkQueue& queue) const
{
    const std::size_t bands = clears_.size();
    queue.bins.resize(bands);
    for (std::vector<std::uint32_t>& bin : queue.bins) {
        bin.clear();
    }
    for (std::size_t i = 0; i < queue.count; ++i) {
        const QueuedItem& item = queue.items[i];
        if (!item.isClear && item.triangles.empty()) {
            continue;
        }
        const std::int32_t first = std::max(item.firstRow, 0) / BandRows;
        const std::int32_t end = std::min((std::max(item.endRow, 0) + BandRows - 1) / BandRows,
                                          static_cast<std::int32_t>(bands));
        for (std::int32_t band = first; band < end; ++band) {
            queue.bins[static_cast<std::size_t>(band)].push_back(static_cast<std::uint32_t>(i));
        }
    }
}

// Hands the recorded frame (its vertex work done) to the workers: each takes
// bands of rows in turn, every band taking the clears and draws in order
// (so the picture does not depend on who takes which), and resolves the
// band's rows into the frame when asked. The program goes on with the next
// frame meanwhile; whatever reads the target or the frame finishes it first.
void SoftwareBackend::startPixelWork(bool resolveFrame)
{
    finishVertexWork();
    pool_.finish(); // the frame before
    binItems(*recording_);
    std::swap(recording_, inFlight_);
    recording_->reset();
    constantsVersion_ = ~0ull; // the snapshots went with the queue
    if (resolveFrame) {
        std::lock_guard<std::mutex> hold(resolvedMutex_);
        resolved_ = false;
        takeResolved_ = nullptr;
    }
    auto next = std::make_shared<std::atomic<std::int32_t>>(0);
    auto done = std::make_shared<std::atomic<std::int32_t>>(0);
    const std::int32_t bands = (target_.height + BandRows - 1) / BandRows;
    pool_.start([this, next, done, bands, resolveFrame](std::int32_t) {
        for (std::int32_t band = (*next)++; band < bands; band = (*next)++) {
            rasterizeBand(*inFlight_, band, resolveFrame);
            if (resolveFrame && ++*done == bands) {
                handOverResolved();
            }
        }
    });
}

// On the worker that resolved the last band: the frame is whole.
void SoftwareBackend::handOverResolved()
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
void SoftwareBackend::whenResolved(std::function<void(const std::uint32_t*)> take)
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

d3d9::Frame SoftwareBackend::present(bool rendered)
{
    if (rendered || recording_->count > 0) {
        startPixelWork(rendered);
    }
    return d3d9::Frame{target_.width, target_.height, rendered, this, {}};
}

class SoftwareAdapter final : public d3d9::Adapter {
public:
    bool offersMultisample() const override { return true; }
    std::unique_ptr<d3d9::Backend> createBackend(const D3DPRESENT_PARAMETERS& parameters,
                                                 const d3d9::BackendOptions& options) override
    {
        return std::make_unique<SoftwareBackend>(parameters, options);
    }
};

} // namespace

const d3d9::BackendDescription& softwareBackend()
{
    static const d3d9::BackendDescription description{
        "software", "the CPU, the reference picture, needs nothing", false,
        [](const d3d9::BackendOptions&) -> std::unique_ptr<d3d9::Adapter> {
            return std::make_unique<SoftwareAdapter>();
        }};
    return description;
}

} // namespace raster
