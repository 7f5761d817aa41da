// The software back end behind the front end: the Direct3D 9 back-end
// contract on the CPU. It records clears and draws into the frame's
// command queue (frame_commands.hpp) with what it derived from the state
// (derived_state.hpp), and hands the queue to the frame's work
// (frame_work.hpp): geometry before a buffer the draws read changes and at
// Present, then the pixel work band by band while the program makes the
// next frame. Reading the frame, or writing a texture, waits for it.
#include "raster/software_backend.hpp"

#include <algorithm>
#include <utility>

#include "d3d9/draw_state.hpp"
#include "raster/derived_state.hpp"
#include "raster/frame_work.hpp"

namespace raster {
namespace {

class SoftwareBackend final : public d3d9::Backend, private d3d9::FrameSource {
public:
    SoftwareBackend(const D3DPRESENT_PARAMETERS& p, const d3d9::BackendOptions& options);

    std::unique_ptr<d3d9::DeviceCopy> copyProgram(const d3d9::ProgramContents& shader) override
    {
        return makeSoftwareProgram(shader, referenceShading_);
    }
    void beforeResourceChange(D3DRESOURCETYPE type) override;
    void clear(const d3d9::ClearCall& call, const d3d9::DrawState&) override;
    d3d9::DrawOutcome draw(const d3d9::DrawCall& call, const d3d9::DrawState& state) override;
    d3d9::Frame present(bool rendered) override;

private:
    const std::uint32_t* readPixels() override
    {
        work_.finish(); // the frame in flight
        return frame_.data();
    }
    void whenResolved(std::function<void(const std::uint32_t*)> take) override { work_.whenResolved(std::move(take)); }
    void startPixelWork(bool resolveFrame);

    bool referenceShading_;
    bool stopUnseenDraws_;
    pipeline::ViewCulling culling_; // its bounds' test: the rest is the geometry stage's
    RenderTarget target_;
    std::vector<std::uint32_t> frame_; // the resolved back buffer
    FrameCommands queues_[2];
    FrameCommands* recording_ = &queues_[0]; // the frame the program is making
    FrameCommands* inFlight_ = &queues_[1];  // the frame being scanned while the program makes the next
    DerivedState derived_;
    FrameWork work_; // last: it finishes the frame in flight before the rest goes
};

// A new back buffer shows opaque black, its depth buffer the far plane.
RenderTarget newTarget(const D3DPRESENT_PARAMETERS& p)
{
    RenderTarget target;
    target.resize(static_cast<std::int32_t>(p.BackBufferWidth), static_cast<std::int32_t>(p.BackBufferHeight),
                  p.MultiSampleType >= D3DMULTISAMPLE_2_SAMPLES ? 4 : 1);
    clearColor(target, 0, 0, target.width, target.height, 0xFF000000u);
    clearDepth(target, 0, 0, target.width, target.height, 1.0f);
    return target;
}

SoftwareBackend::SoftwareBackend(const D3DPRESENT_PARAMETERS& p, const d3d9::BackendOptions& options)
    : referenceShading_(options.referenceShading), stopUnseenDraws_(options.stopUnseenDraws), target_(newTarget(p)),
      frame_(static_cast<std::size_t>(target_.width) * static_cast<std::size_t>(target_.height), 0xFF000000u),
      work_(target_, frame_, options.threads)
{
}

// Clears wait in the queue like draws, so that they run with the scanning,
// band by band, on every worker.
void SoftwareBackend::clear(const d3d9::ClearCall& call, const d3d9::DrawState&)
{
    std::int32_t firstRow = target_.height, endRow = 0;
    for (DWORD i = 0; i < call.rectCount; ++i) {
        firstRow = std::min(firstRow, static_cast<std::int32_t>(call.rects[i].y1));
        endRow = std::max(endRow, static_cast<std::int32_t>(call.rects[i].y2));
    }
    ClearCommand& clear = recording_->addClear(firstRow, endRow);
    clear.rects.assign(call.rects, call.rects + call.rectCount);
    clear.colour = (call.flags & D3DCLEAR_TARGET) != 0;
    clear.depth = (call.flags & D3DCLEAR_ZBUFFER) != 0;
    clear.colourValue = call.color;
    clear.depthValue = call.z;
}

// A draw whose bounds show that no vertex can be seen stops here, exactly
// (the positions are the shader machine's bits); the geometry stage stops
// the others it finds so from the positions it shades.
d3d9::DrawOutcome SoftwareBackend::draw(const d3d9::DrawCall& call, const d3d9::DrawState& state)
{
    if (stopUnseenDraws_ && culling_.boundsStop(d3d9::cullingDrawOf(call, state, {}))) {
        return d3d9::DrawOutcome::Stopped;
    }
    DrawCommand& draw = recording_->addDraw();
    derived_.update(state, state.dirty, *recording_, draw);
    draw.call = call;
    draw.stream = {state.stream->bytes(), state.stream->size(), state.streamOffset, state.streamStride};
    draw.indices = state.indices->bytes();
    draw.indexBytes = pipeline::indexBytes(state.indices->format());
    draw.cullUnseen = stopUnseenDraws_;
    return d3d9::DrawOutcome::Drawn;
}

// Buffers are read by the geometry alone, textures by scanning.
void SoftwareBackend::beforeResourceChange(D3DRESOURCETYPE type)
{
    work_.finishGeometry(*recording_);
    if (type == D3DRTYPE_TEXTURE || type == D3DRTYPE_SURFACE) {
        work_.finish();
        if (!recording_->empty()) {
            startPixelWork(false);
            work_.finish();
        }
    }
}

// Hands the recorded frame to the workers and starts recording the next.
void SoftwareBackend::startPixelWork(bool resolveFrame)
{
    work_.finishGeometry(*recording_);
    work_.startPixelWork(*recording_, resolveFrame);
    std::swap(recording_, inFlight_);
    recording_->reset();
    derived_.startFrame();
}

d3d9::Frame SoftwareBackend::present(bool rendered)
{
    d3d9::Frame frame{target_.width, target_.height, rendered, this, {}};
    work_.finishGeometry(*recording_);
    for (std::uint32_t i = 0; i < recording_->drawCount(); ++i) {
        frame.draws.stopped += recording_->draw(i).stopped ? 1 : 0;
    }
    if (rendered || !recording_->empty()) {
        startPixelWork(rendered);
    }
    return frame;
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
