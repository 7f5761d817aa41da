// The device's frame calls: clears, scenes, indexed drawing and Present.
// Checks come first and apply to every frame; the back end is handed only
// the clears and draws of frames whose pixels somebody wants.
#include <algorithm>

#include "com/assertion.hpp"
#include "d3d9/call_trace.hpp"
#include "d3d9/device.hpp"
#include "d3d9/failures.hpp"
#include "d3d9/resources.hpp"
#include "pipeline/draw_linkage.hpp"

namespace d3d9 {
namespace {

D3DRECT intersect(const D3DRECT& a, const D3DRECT& b)
{
    return {std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
}

bool isTriangles(D3DPRIMITIVETYPE type)
{
    return type == D3DPT_TRIANGLELIST || type == D3DPT_TRIANGLESTRIP || type == D3DPT_TRIANGLEFAN;
}

} // namespace

pipeline::CullingDraw cullingDrawOf(const DrawCall& call, const DrawState& state, const pipeline::CullingMargin& margin)
{
    const ProgramContents& program = *state.vertexShader;
    pipeline::CullingDraw draw;
    draw.program = {&program.analysis(), program.positionSlice(), program.positionMagnitude()};
    draw.bindings = state.linkage->bindings;
    draw.position = state.linkage->positionBinding();
    draw.run.stream = {state.stream->bytes(), state.stream->size(), state.streamOffset, state.streamStride};
    draw.run.content = state.stream->contentStamp();
    draw.run.first = static_cast<std::int64_t>(call.baseVertex) + call.minIndex;
    draw.run.count = call.vertexCount;
    draw.constants = state.vertexConstants;
    draw.margin = margin;
    return draw;
}

bool Device::frameWanted()
{
    if (!frameDecided_) {
        frameWanted_ = !options_.sink.wantsPixels || options_.sink.wantsPixels();
        frameDecided_ = true;
    }
    return frameWanted_;
}

HRESULT STDMETHODCALLTYPE Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                        DWORD stencil)
{
    trace::Call call("Clear", count, trace::Hex{flags}, trace::Hex{color}, z, stencil);
    constexpr DWORD KnownFlags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
    if (count != 0 && rects == nullptr) {
        return call.refuse(D3DERR_INVALIDCALL, "rectangles counted but not given");
    }
    if ((flags & ~KnownFlags) != 0) {
        return call.refuse(D3DERR_INVALIDCALL, "unknown flags");
    }
    if (!frameWanted()) {
        return call.result(D3D_OK);
    }
    // Clears never reach past the viewport.
    const D3DVIEWPORT9& v = programViewport_;
    const D3DRECT whole = {static_cast<LONG>(v.X), static_cast<LONG>(v.Y), static_cast<LONG>(v.X + v.Width),
                           static_cast<LONG>(v.Y + v.Height)};
    std::vector<D3DRECT> inside;
    for (DWORD i = 0; i < std::max<DWORD>(count, 1); ++i) {
        const D3DRECT r = count == 0 ? whole : intersect(rects[i], whole);
        if (r.x2 > r.x1 && r.y2 > r.y1) {
            const D3DRECT scaled = {toRenderX(r.x1), toRenderY(r.y1), toRenderX(r.x2), toRenderY(r.y2)};
            if (scaled.x2 > scaled.x1 && scaled.y2 > scaled.y1) {
                inside.push_back(scaled);
            }
        }
    }
    frameRendered_ = true;
    const DWORD wanted = flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    if (!inside.empty() && wanted != 0) {
        backend_->clear({inside.data(), static_cast<DWORD>(inside.size()), wanted, color, z}, state_);
    }
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::BeginScene()
{
    trace::Call call("BeginScene");
    if (inScene_) {
        return call.refuse(D3DERR_INVALIDCALL, "already in a scene");
    }
    inScene_ = true;
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::EndScene()
{
    trace::Call call("EndScene");
    if (!inScene_) {
        return call.refuse(D3DERR_INVALIDCALL, "not in a scene");
    }
    inScene_ = false;
    backend_->endScene();
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*)
{
    trace::Call call("Present");
    const bool rendered = frameDecided_ && frameWanted_ && frameRendered_;
    Frame frame = backend_->present(rendered);
    const std::uint32_t stoppedLate = std::min(frame.draws.stopped, draws_.sent);
    frame.draws = draws_;
    frame.draws.stopped += stoppedLate;
    frame.draws.sent -= stoppedLate;
    draws_ = {};
    if (options_.sink.onPresent) {
        options_.sink.onPresent(frame);
    }
    if (backend_->rebuiltAfterLoss()) {
        remakeCopies();
    }
    followRenderSize();
    frameDecided_ = false;
    frameRendered_ = false;
    return call.result(D3D_OK);
}

// The back end's copies of everything the program made, from what the
// front end holds: nothing the program made is lost with a back end.
void Device::remakeCopies()
{
    for (DeviceChild* child : children_) {
        child->setCopy(child->makeCopy(*backend_));
    }
    state_.dirty = dirty::All; // a new back end, or one that lost everything: nothing derived stands
}

// Between two frames: a new back end when the host's render size changed
// (the old one goes first, with its copies: a GL back end's objects live in
// the one context). Where none can be made at the new size, the device goes
// on at the old one.
void Device::followRenderSize()
{
    if (!options_.renderSize) {
        return;
    }
    const RenderSize size = renderSizeOf(options_, programWidth_, programHeight_);
    const RenderSize current = {state_.width, state_.height};
    if (size == current) {
        return;
    }
    for (DeviceChild* child : children_) {
        child->setCopy(nullptr);
    }
    backend_.reset();
    backend_ = makeBackend_(size);
    if (backend_ == nullptr) {
        backend_ = makeBackend_(current);
        PLATFORM_ASSERT(backend_ != nullptr); // it was made at this size before
    } else {
        state_.width = size.width;
        state_.height = size.height;
        setViewport(programViewport_);
    }
    remakeCopies();
}

// D3D_OK when the draw may go ahead, with the number of indices it reads;
// else what `call` refused it with.
HRESULT Device::checkDraw(trace::Call& call, D3DPRIMITIVETYPE type, UINT startIndex, UINT primitives,
                       std::size_t& indexCount) const
{
    if (!inScene_) {
        return call.refuse(D3DERR_INVALIDCALL, "not in a scene");
    }
    if (!isTriangles(type)) {
        return call.notOffered("points-and-lines", "DrawIndexedPrimitive: triangle lists, strips and fans only");
    }
    if (state_.vertexShader == nullptr || state_.pixelShader == nullptr || state_.stream == nullptr) {
        return call.notOffered("fixed-function", "DrawIndexedPrimitive: drawing needs vertex and pixel programs");
    }
    const BufferContents* indices = state_.indices;
    if (indices == nullptr) {
        return call.refuse(D3DERR_INVALIDCALL, "no indices");
    }
    const std::size_t indexBytes = pipeline::indexBytes(indices->format());
    indexCount = type == D3DPT_TRIANGLELIST ? 3u * std::size_t{primitives} : std::size_t{primitives} + 2u;
    const std::size_t available = indices->size() / indexBytes;
    if (startIndex > available || indexCount > available - startIndex) {
        return call.refuse(D3DERR_INVALIDCALL, "indices past the index buffer");
    }
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex,
                                                       UINT vertices, UINT startIndex, UINT primitives)
{
    trace::Call call("DrawIndexedPrimitive", type, base, minIndex, vertices, startIndex, primitives);
    std::size_t indexCount = 0;
    const HRESULT checked = checkDraw(call, type, startIndex, primitives, indexCount);
    if (checked != D3D_OK) {
        return checked;
    }
    ++draws_.issued;
    if (!frameWanted()) {
        return call.result(D3D_OK);
    }
    frameRendered_ = true;
    if (primitives == 0) {
        return call.result(D3D_OK);
    }
    const DrawCall draw = {type, base, minIndex, vertices, startIndex, primitives, indexCount};
    if (linkageStale_) {
        state_.linkage =
            pipeline::linkDraw(*state_.elements, state_.vertexShader->analysis(), state_.pixelShader->analysis());
        linkageStale_ = false;
    }
    switch (backend_->draw(draw, state_)) {
    case DrawOutcome::Refused: return call.refuse(D3DERR_INVALIDCALL, "the back end could not prepare the programs");
    case DrawOutcome::Stopped: ++draws_.stopped; break;
    case DrawOutcome::Drawn:
        ++draws_.sent;
        state_.dirty = 0; // the back end's derived state stands for what was drawn
        break;
    }
    return call.result(D3D_OK);
}

} // namespace d3d9
