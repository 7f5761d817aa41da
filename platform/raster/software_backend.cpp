// The software back end behind the front end.
//
// Each draw is vertex-shaded and set up as it arrives; its scanning waits in
// a queue until the scene ends (or a clear, a texture write or Present needs
// the target), then runs on all rasterizer threads at once, each over its
// own interleaved bands of rows, every band taking the draws in order, so
// that the picture does not depend on the threads.
#include "raster/software_backend.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "d3d9/draw_state.hpp"
#include "d3d9/failures.hpp"
#include "d3d9/resources.hpp"
#include "raster/pixel_stage.hpp"
#include "raster/vertex_stage.hpp"

namespace raster {
namespace {

constexpr std::int32_t BandRows = 16; // rows a rasterizer thread takes at a time

// A program as the shader machine runs it; shared with queued draws.
struct ProgramCopy final : d3d9::DeviceCopy {
    std::shared_ptr<const ShaderProgram> program;
};

const std::shared_ptr<const ShaderProgram>& programOf(const d3d9::Shader& shader)
{
    const auto* copy = static_cast<const ProgramCopy*>(shader.copy());
    PLATFORM_ASSERT(copy != nullptr);
    return copy->program;
}

CullMode cullModeOf(DWORD value)
{
    switch (value) {
    case D3DCULL_NONE: return CullMode::None;
    case D3DCULL_CCW: return CullMode::CounterClockwise;
    default: return CullMode::Clockwise;
    }
}

// One draw's triangles, ready to scan, with the pixel work they need.
struct QueuedDraw {
    std::shared_ptr<const DrawState> state; // shared by the draws that follow while no pixel state changes
    std::vector<ScreenTriangle> triangles;
};

class SoftwareBackend final : public d3d9::Backend, private d3d9::FrameSource {
public:
    SoftwareBackend(const D3DPRESENT_PARAMETERS& p, const d3d9::BackendOptions& options)
    {
        const auto width = static_cast<std::int32_t>(p.BackBufferWidth);
        const auto height = static_cast<std::int32_t>(p.BackBufferHeight);
        target_.resize(width, height, p.MultiSampleType >= D3DMULTISAMPLE_2_SAMPLES ? 4 : 1);
        // A new back buffer shows opaque black, its depth buffer the far plane.
        clearColor(target_, 0, 0, width, height, 0xFF000000u);
        clearDepth(target_, 0, 0, width, height, 1.0f);
        frame_.assign(static_cast<std::size_t>(width) * height, 0xFF000000u);
        threads_ = options.threads > 0 ? options.threads
                                       : std::max(1, static_cast<std::int32_t>(std::thread::hardware_concurrency()));
    }

    std::unique_ptr<d3d9::DeviceCopy> copyProgram(const d3d9::Shader& shader) override
    {
        auto program = std::make_shared<ShaderProgram>();
        std::string error;
        const bool loaded = program->load(shader.decoded(), error);
        PLATFORM_ASSERT(loaded); // the front end let through only what is executed
        auto copy = std::make_unique<ProgramCopy>();
        copy->program = std::move(program);
        return copy;
    }
    void beforeTextureWrite(const d3d9::Texture&) override { flush(); } // queued draws may sample it

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

    void gatherTriangles(const d3d9::DrawCall& call, const d3d9::Buffer& indices);
    void updateLayout(const d3d9::DrawState& state);
    std::shared_ptr<const DrawState> makeDrawState(const d3d9::DrawState& state) const;
    void flush();
    void rasterizeBands(std::int32_t thread, std::int32_t threadCount);

    RenderTarget target_;
    std::vector<std::uint32_t> frame_; // the resolved back buffer
    std::vector<QueuedDraw> queue_;
    std::int32_t threads_ = 1;
    std::vector<ShadedVertex> shaded_;   // reused by every draw
    std::vector<std::uint32_t> corners_; // likewise
    VertexStageInput vertexInput_ = {};  // its bindings and varyings kept while the layout stands
    std::uint64_t layoutVersion_ = ~0ull;
    std::shared_ptr<const DrawState> drawState_; // kept while the pixel state stands
    std::uint64_t pixelVersion_ = ~0ull;
};

// Corner numbers relative to MinVertexIndex, three a triangle. A corner
// outside the announced vertex range is not shaded: its triangle is left
// out rather than read from nowhere.
void SoftwareBackend::gatherTriangles(const d3d9::DrawCall& call, const d3d9::Buffer& indices)
{
    const std::size_t indexBytes = indices.format() == D3DFMT_INDEX32 ? 4 : 2;
    const std::uint8_t* first = indices.bytes() + std::size_t{call.startIndex} * indexBytes;
    auto indexAt = [&](std::size_t i) {
        std::uint32_t value = 0;
        std::memcpy(&value, first + i * indexBytes, indexBytes);
        return value;
    };
    corners_.clear();
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
            corners_.insert(corners_.end(), c, c + 3);
        }
    }
}

// The input bindings and varyings of the bound layout and programs.
void SoftwareBackend::updateLayout(const d3d9::DrawState& state)
{
    vertexInput_.bindings = d3d9::bindInputs(*state.elements, state.vertexShader->vertexInputs());
    vertexInput_.varyings = varyingsOf(*programOf(*state.pixelShader));
    layoutVersion_ = state.layoutVersion;
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

HRESULT SoftwareBackend::draw(const d3d9::DrawCall& call, const d3d9::DrawState& state)
{
    gatherTriangles(call, *state.indices);
    if (corners_.empty()) {
        return D3D_OK;
    }
    if (layoutVersion_ != state.layoutVersion) {
        updateLayout(state);
    }
    VertexStageInput& vertexInput = vertexInput_;
    vertexInput.program = programOf(*state.vertexShader).get();
    vertexInput.constants = state.vertexConstants;
    vertexInput.stream = state.stream->bytes();
    vertexInput.streamSize = state.stream->size();
    vertexInput.streamOffset = state.streamOffset;
    vertexInput.stride = state.streamStride;
    vertexInput.firstVertex = static_cast<std::int64_t>(call.baseVertex) + call.minIndex;
    vertexInput.vertexCount = static_cast<std::int32_t>(call.vertexCount);
    if (rangeIsOutsideView(vertexInput)) {
        return D3D_OK; // nothing of it can be seen
    }
    shadeVertices(vertexInput, shaded_);
    if (drawState_ == nullptr || pixelVersion_ != state.pixelVersion) {
        drawState_ = makeDrawState(state);
        pixelVersion_ = state.pixelVersion;
    }
    QueuedDraw queued;
    queued.state = drawState_;
    setupTriangles(*queued.state, shaded_.data(), corners_.data(), corners_.size() / 3, queued.triangles);
    if (!queued.triangles.empty()) {
        queue_.push_back(std::move(queued));
    }
    return D3D_OK;
}

// Bands start at the top of the queued draws' viewports (one band of rows
// in this program: the picture between the letterbox bars).
void SoftwareBackend::rasterizeBands(std::int32_t thread, std::int32_t threadCount)
{
    std::int32_t top = target_.height;
    std::int32_t bottom = 0;
    for (const QueuedDraw& draw : queue_) {
        top = std::min(top, draw.state->viewport.y);
        bottom = std::max(bottom, draw.state->viewport.y + draw.state->viewport.height);
    }
    for (std::int32_t row = top + thread * BandRows; row < bottom; row += threadCount * BandRows) {
        const std::int32_t end = std::min(row + BandRows, bottom);
        for (const QueuedDraw& draw : queue_) {
            rasterizeTriangles(target_, *draw.state, draw.triangles.data(), draw.triangles.size(), row, end);
        }
    }
}

void SoftwareBackend::flush()
{
    if (queue_.empty()) {
        return;
    }
    std::vector<std::thread> helpers;
    for (std::int32_t t = 1; t < threads_; ++t) {
        helpers.emplace_back([this, t] { rasterizeBands(t, threads_); });
    }
    rasterizeBands(0, threads_);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    queue_.clear();
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
