// The software back end behind the front end.
//
// Each draw is recorded as it arrives, with a snapshot of the constants its
// vertex program reads, and waits in a queue until the scene ends (or a
// clear, a write to a resource or Present needs the queue done). Then every
// worker of a pool that lives as long as the device takes draws for their
// vertex work and set-up, each draw's triangles its own, and then its own
// interleaved bands of rows, every band taking the draws in order: the
// picture does not depend on the number of threads.
#include "raster/software_backend.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "d3d9/draw_state.hpp"
#include "d3d9/failures.hpp"
#include "d3d9/resources.hpp"
#include "raster/pixel_stage.hpp"
#include "raster/vertex_routine.hpp"
#include "raster/vertex_stage.hpp"
#include "raster/worker_pool.hpp"

namespace raster {
namespace {

constexpr std::int32_t BandRows = 16; // rows a rasterizer thread takes at a time

// A program as the shader machine runs it and, for a vertex program, as
// the compiled routine runs it; shared with queued draws.
struct ProgramCopy final : d3d9::DeviceCopy {
    std::shared_ptr<const ShaderProgram> program;
    std::shared_ptr<const VertexRoutine> routine;        // a vertex program compiled; NULL: the machine runs it
    std::shared_ptr<const CompiledProgram> pixelRoutine; // a pixel program compiled; likewise
};

const ProgramCopy& copyOf(const d3d9::Shader& shader)
{
    const auto* copy = static_cast<const ProgramCopy*>(shader.copy());
    PLATFORM_ASSERT(copy != nullptr);
    return *copy;
}

const std::shared_ptr<const ShaderProgram>& programOf(const d3d9::Shader& shader)
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
    std::vector<InputBinding> bindings;
    std::vector<VaryingSource> varyings;
};

// A draw as recorded: everything its vertex work needs, with a snapshot of
// the constant registers its program reads, and (once the vertex work has
// run) its triangles, ready to scan with the pixel work they need.
struct QueuedDraw {
    d3d9::DrawCall call;
    std::shared_ptr<const ShaderProgram> program;
    std::shared_ptr<const VertexRoutine> routine; // NULL: the machine runs the program
    std::shared_ptr<const VertexLayout> layout;
    std::shared_ptr<const DrawState> state; // shared by the draws that follow while no pixel state changes
    std::size_t constants = 0;              // the snapshot's first float in the constant pool
    const std::uint8_t* stream = nullptr;   // the front end's memory; the queue is flushed before it changes
    std::size_t streamSize = 0;
    std::size_t streamOffset = 0;
    std::uint32_t stride = 0;
    const std::uint8_t* indices = nullptr;
    std::size_t indexBytes = 2;
    std::vector<ScreenTriangle> triangles; // kept between frames for its capacity
};

// What a worker reuses from draw to draw.
struct WorkerScratch {
    std::vector<float> constants = std::vector<float>(4 * d3d9::VertexConstantRegisters, 0.0f);
    std::vector<ShadedVertex> shaded;
    std::vector<float> routineFile; // the vertex routine's registers
    std::vector<std::uint32_t> corners;
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
    }

    std::unique_ptr<d3d9::DeviceCopy> copyProgram(const d3d9::Shader& shader) override
    {
        auto program = std::make_shared<ShaderProgram>();
        std::string error;
        const bool loaded = program->load(shader.decoded(), error);
        PLATFORM_ASSERT(loaded); // the front end let through only what is executed
        auto copy = std::make_unique<ProgramCopy>();
        if (program->type() == shader::ShaderType::Vertex && !referenceShading_) {
            auto routine = std::make_shared<VertexRoutine>(*program);
            if (routine->compiled()) {
                copy->routine = std::move(routine);
            }
        } else if (!referenceShading_) {
            auto routine = std::make_shared<CompiledProgram>(*program);
            if (routine->compiled()) {
                copy->pixelRoutine = std::move(routine);
            }
        }
        copy->program = std::move(program);
        return copy;
    }
    // Queued draws may read the resource's memory.
    void beforeResourceChange(const d3d9::ResourceBase&) override { flush(); }

    void clear(const d3d9::ClearCall& call, const d3d9::DrawState&) override
    {
        flush();
        for (DWORD i = 0; i < call.rectCount; ++i) {
            const D3DRECT& r = call.rects[i];
            if ((call.flags & D3DCLEAR_TARGET) != 0) {
                clearColor(target_, r.x1, r.y1, r.x2, r.y2, call.color);
            }
            if ((call.flags & D3DCLEAR_ZBUFFER) != 0) {
                clearDepth(target_, r.x1, r.y1, r.x2, r.y2, call.z);
            }
        }
    }
    HRESULT draw(const d3d9::DrawCall& call, const d3d9::DrawState& state) override;
    void endScene() override { flush(); }
    d3d9::Frame present(bool rendered) override
    {
        flush();
        if (rendered) {
            resolve(target_, frame_.data());
        }
        return d3d9::Frame{target_.width, target_.height, rendered, this};
    }

private:
    const std::uint32_t* readPixels() override { return frame_.data(); }

    std::shared_ptr<const DrawState> makeDrawState(const d3d9::DrawState& state) const;
    std::size_t snapshotConstants(const d3d9::DrawState& state, const ShaderProgram& program);
    void runVertexWork(QueuedDraw& draw, WorkerScratch& scratch) const;
    void flush();
    void rasterizeBands(std::int32_t worker);

    RenderTarget target_;
    std::vector<std::uint32_t> frame_; // the resolved back buffer
    WorkerPool pool_;
    std::vector<WorkerScratch> scratch_; // one a worker
    std::vector<QueuedDraw> queue_;      // the first queued_ are this scene's
    std::size_t queued_ = 0;
    std::vector<float> constantPool_;    // the queued draws' constant snapshots
    std::shared_ptr<const VertexLayout> layout_; // kept while the layout stands
    std::uint64_t layoutVersion_ = ~0ull;
    std::uint64_t constantsVersion_ = ~0ull; // of the last snapshot
    const ShaderProgram* constantsProgram_ = nullptr;
    std::size_t lastSnapshot_ = 0;
    std::shared_ptr<const DrawState> drawState_; // kept while the pixel state stands
    std::uint64_t pixelVersion_ = ~0ull;
    bool referenceShading_ = false;
};

// Corner numbers relative to MinVertexIndex, three a triangle. A corner
// outside the announced vertex range is not shaded: its triangle is left
// out rather than read from nowhere.
void gatherTriangles(const QueuedDraw& draw, std::vector<std::uint32_t>& corners)
{
    const d3d9::DrawCall& call = draw.call;
    const std::size_t indexBytes = draw.indexBytes;
    const std::uint8_t* first = draw.indices + std::size_t{call.startIndex} * indexBytes;
    auto indexAt = [&](std::size_t i) {
        std::uint32_t value = 0;
        std::memcpy(&value, first + i * indexBytes, indexBytes);
        return value;
    };
    corners.clear();
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
        if (inside) {
            corners.insert(corners.end(), c, c + 3);
        }
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
                                ? SamplerTexture{}
                                : SamplerTexture{texture->texels(), static_cast<std::int32_t>(texture->width()),
                                                 static_cast<std::int32_t>(texture->height()),
                                                 static_cast<std::int32_t>(texture->pitch())};
    }
    draw.varyingCount = static_cast<std::int32_t>(varyingsOf(*input.program).size());
    draw.shade = makePixelShader(std::move(input));
    return made;
}

// The registers the program reads, copied into the pool (once for the
// draws that follow while neither the constants nor the program change).
std::size_t SoftwareBackend::snapshotConstants(const d3d9::DrawState& state, const ShaderProgram& program)
{
    if (constantsVersion_ == state.vertexConstantsVersion && constantsProgram_ == &program) {
        return lastSnapshot_;
    }
    lastSnapshot_ = constantPool_.size();
    for (const std::uint32_t n : program.constantsRead()) {
        constantPool_.insert(constantPool_.end(), state.vertexConstants + 4 * n, state.vertexConstants + 4 * n + 4);
    }
    constantsVersion_ = state.vertexConstantsVersion;
    constantsProgram_ = &program;
    return lastSnapshot_;
}

HRESULT SoftwareBackend::draw(const d3d9::DrawCall& call, const d3d9::DrawState& state)
{
    if (layout_ == nullptr || layoutVersion_ != state.layoutVersion) {
        auto layout = std::make_shared<VertexLayout>();
        layout->bindings = d3d9::bindInputs(*state.elements, state.vertexShader->vertexInputs());
        layout->varyings = varyingsOf(*programOf(*state.pixelShader));
        layout_ = std::move(layout);
        layoutVersion_ = state.layoutVersion;
    }
    if (drawState_ == nullptr || pixelVersion_ != state.pixelVersion) {
        drawState_ = makeDrawState(state);
        pixelVersion_ = state.pixelVersion;
    }
    if (queued_ == queue_.size()) {
        queue_.emplace_back();
    }
    QueuedDraw& queued = queue_[queued_++];
    queued.call = call;
    const ProgramCopy& vertexProgram = copyOf(*state.vertexShader);
    queued.program = vertexProgram.program;
    queued.routine = vertexProgram.routine;
    queued.layout = layout_;
    queued.state = drawState_;
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
void SoftwareBackend::runVertexWork(QueuedDraw& draw, WorkerScratch& scratch) const
{
    gatherTriangles(draw, scratch.corners);
    if (scratch.corners.empty()) {
        return;
    }
    const ShaderProgram& program = *draw.program;
    const float* snapshot = constantPool_.data() + draw.constants;
    VertexStageInput input;
    input.program = &program;
    input.bindings = draw.layout->bindings;
    input.stream = draw.stream;
    input.streamSize = draw.streamSize;
    input.streamOffset = draw.streamOffset;
    input.stride = draw.stride;
    input.firstVertex = static_cast<std::int64_t>(draw.call.baseVertex) + draw.call.minIndex;
    input.vertexCount = static_cast<std::int32_t>(draw.call.vertexCount);
    input.varyings = draw.layout->varyings;
    if (draw.routine != nullptr) {
        input.constants = nullptr;
        if (draw.routine->shade(input, snapshot, scratch.shaded, scratch.routineFile) != 0) {
            return; // every vertex outside one plane: nothing of it can be seen
        }
        setupTriangles(*draw.state, scratch.shaded.data(), scratch.corners.data(), scratch.corners.size() / 3,
                       draw.triangles);
        return;
    }
    for (const std::uint32_t n : program.constantsRead()) {
        std::memcpy(scratch.constants.data() + 4 * n, snapshot, 4 * sizeof(float)); // the others are never read
        snapshot += 4;
    }
    input.constants = scratch.constants.data();
    if (rangeIsOutsideView(input)) {
        return; // nothing of it can be seen
    }
    shadeVertices(input, scratch.shaded);
    setupTriangles(*draw.state, scratch.shaded.data(), scratch.corners.data(), scratch.corners.size() / 3,
                   draw.triangles);
}

// Bands start at the top of the queued draws' viewports (one band of rows
// in this program: the picture between the letterbox bars).
void SoftwareBackend::rasterizeBands(std::int32_t worker)
{
    std::int32_t top = target_.height;
    std::int32_t bottom = 0;
    for (std::size_t d = 0; d < queued_; ++d) {
        top = std::min(top, queue_[d].state->viewport.y);
        bottom = std::max(bottom, queue_[d].state->viewport.y + queue_[d].state->viewport.height);
    }
    const std::int32_t workers = pool_.size();
    for (std::int32_t row = top + worker * BandRows; row < bottom; row += workers * BandRows) {
        const std::int32_t end = std::min(row + BandRows, bottom);
        for (std::size_t d = 0; d < queued_; ++d) {
            const QueuedDraw& draw = queue_[d];
            if (!draw.triangles.empty()) {
                rasterizeTriangles(target_, *draw.state, draw.triangles.data(), draw.triangles.size(), row, end);
            }
        }
    }
}

// Runs the queued draws: first their vertex work, a few draws at a time on
// every worker, then their scanning, band by band on every worker, each
// band taking the draws in order.
void SoftwareBackend::flush()
{
    if (queued_ == 0) {
        return;
    }
    constexpr std::size_t DrawsATurn = 8;
    std::atomic<std::size_t> next{0};
    pool_.runOnAll([&](std::int32_t worker) {
        for (std::size_t first = next.fetch_add(DrawsATurn); first < queued_; first = next.fetch_add(DrawsATurn)) {
            for (std::size_t d = first; d < std::min(first + DrawsATurn, queued_); ++d) {
                runVertexWork(queue_[d], scratch_[static_cast<std::size_t>(worker)]);
            }
        }
    });
    pool_.runOnAll([&](std::int32_t worker) { rasterizeBands(worker); });
    for (std::size_t d = 0; d < queued_; ++d) {
        QueuedDraw& draw = queue_[d];
        draw.routine.reset();
        draw.program.reset(); // programs and states may go; the triangles' room stays
        draw.layout.reset();
        draw.state.reset();
    }
    queued_ = 0;
    constantPool_.clear();
    constantsVersion_ = ~0ull;
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
