// The device's state calls: viewport, render, sampler and texture-stage
// states, transforms, the layout, bindings and constants. Every setter
// checks its arguments first and changes nothing when it refuses.
#include "d3d9/device.hpp"

#include <algorithm>
#include <cstring>

#include "d3d9/call_trace.hpp"
#include "d3d9/failures.hpp"

namespace d3d9 {
namespace {

// The front end's own object behind an interface, or NULL for NULL; an
// object some other runtime made is the caller's misuse.
template <typename Concrete, typename Interface>
bool ownObject(Interface* object, Concrete*& out)
{
    out = dynamic_cast<Concrete*>(object);
    return object == nullptr || out != nullptr;
}

// Takes the device's reference on the front end's object behind `object`
// (NULL unbinds); false, binding nothing, for an object this runtime did
// not make.
template <typename Concrete, typename Interface>
bool bindOwn(Interface* object, Bound<Concrete>& holder)
{
    Concrete* own = nullptr;
    if (!ownObject(object, own)) {
        return false;
    }
    holder.reset(own);
    return true;
}

template <typename Interface>
std::string nameText(Interface* object)
{
    if (object == nullptr) {
        return "NULL";
    }
    if (auto* own = dynamic_cast<Object<Interface>*>(object)) {
        return own->name();
    }
    if (auto* texture = dynamic_cast<Texture*>(object)) {
        return texture->name();
    }
    return "foreign";
}

// An object's name as a trace argument, looked up only while tracing.
template <typename Interface>
auto nameOf(Interface* object)
{
    return trace::lazy([object] { return nameText(object); });
}

} // namespace

Device::Device(std::unique_ptr<Backend> backend, BackendMaker makeBackend, RenderSize size,
               const D3DPRESENT_PARAMETERS& parameters, const BackendOptions& options)
    : Object("device"), backend_(std::move(backend)), makeBackend_(std::move(makeBackend)), options_(options)
{
    programWidth_ = static_cast<std::int32_t>(parameters.BackBufferWidth);
    programHeight_ = static_cast<std::int32_t>(parameters.BackBufferHeight);
    state_.width = size.width;
    state_.height = size.height;
    setViewport({0, 0, parameters.BackBufferWidth, parameters.BackBufferHeight, 0.0f, 1.0f});
    setDefaultStates();
    refreshElements();
}

Device::~Device()
{
    // Bindings go first (they may be the last references), then whatever
    // the program still holds is cut loose from the back end.
    stream_.reset(nullptr);
    indices_.reset(nullptr);
    declaration_.reset(nullptr);
    vertexShader_.reset(nullptr);
    pixelShader_.reset(nullptr);
    for (Bound<Texture>& texture : textures_) {
        texture.reset(nullptr);
    }
    for (DeviceChild* child : children_) {
        child->detachFromDevice();
    }
    backend_.reset();
}

void Device::setDefaultStates()
{
    DWORD* rs = state_.renderStates;
    rs[D3DRS_ZENABLE] = D3DZB_TRUE; // with an automatic depth buffer
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    for (auto& sampler : state_.samplerStates) {
        sampler[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        sampler[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        sampler[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    }
}

std::string Device::nextName(const char* kind, int& counter)
{
    return kind + std::to_string(++counter);
}

HRESULT STDMETHODCALLTYPE Device::SetViewport(const D3DVIEWPORT9* v)
{
    trace::Call call("SetViewport", trace::lazy([v] {
                         if (v == nullptr) {
                             return std::string("NULL");
                         }
                         const std::string fields = trace::callText("", v->X, v->Y, v->Width, v->Height, v->MinZ, v->MaxZ);
                         return fields.substr(1, fields.size() - 2); // without the parentheses
                     }));
    if (v == nullptr) {
        return call.refuse(D3DERR_INVALIDCALL, "no viewport");
    }
    if (v->Width == 0 || v->Height == 0 || static_cast<std::int64_t>(v->X) + v->Width > programWidth_ ||
        static_cast<std::int64_t>(v->Y) + v->Height > programHeight_) {
        return call.refuse(D3DERR_INVALIDCALL, "empty, or outside the back buffer");
    }
    if (!(v->MinZ >= 0.0f) || !(v->MaxZ <= 1.0f) || v->MinZ > v->MaxZ) {
        return call.refuse(D3DERR_INVALIDCALL, "depth range outside 0 to 1");
    }
    setViewport(*v);
    return call.result(D3D_OK);
}

// A program pixel's edge at the render size: scaled and rounded down, so
// that rectangles which meet in the program meet in the back end, and a
// whole multiple is exact.
LONG Device::toRenderX(std::int64_t x) const
{
    return static_cast<LONG>(x * state_.width / programWidth_);
}

LONG Device::toRenderY(std::int64_t y) const
{
    return static_cast<LONG>(y * state_.height / programHeight_);
}

// The program's viewport, and the back end's at its render size (checked
// to lie inside the back buffer). Never narrower than a pixel.
void Device::setViewport(const D3DVIEWPORT9& viewport)
{
    programViewport_ = viewport;
    const LONG x = toRenderX(viewport.X), y = toRenderY(viewport.Y);
    const LONG right = std::max(toRenderX(std::int64_t{viewport.X} + viewport.Width), x + 1);
    const LONG bottom = std::max(toRenderY(std::int64_t{viewport.Y} + viewport.Height), y + 1);
    state_.viewport = {static_cast<DWORD>(x),         static_cast<DWORD>(y), static_cast<DWORD>(right - x),
                       static_cast<DWORD>(bottom - y), viewport.MinZ,         viewport.MaxZ};
    markChanged(dirty::Viewport);
}

// The one place the dirty bits are set, for the back end.
void Device::markChanged(DirtyBits bits)
{
    state_.dirty |= bits;
    linkageStale_ = linkageStale_ || (bits & (dirty::Declaration | dirty::VertexShader | dirty::PixelShader)) != 0;
}

HRESULT STDMETHODCALLTYPE Device::GetViewport(D3DVIEWPORT9* v)
{
    trace::Call call("GetViewport");
    if (v == nullptr) {
        return call.refuse(D3DERR_INVALIDCALL, "nowhere to write");
    }
    *v = programViewport_;
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::SetRenderState(D3DRENDERSTATETYPE s, DWORD value)
{
    trace::Call call("SetRenderState", s, value);
    if (static_cast<std::uint32_t>(s) >= RenderStateCount) {
        return call.refuse(D3DERR_INVALIDCALL, "no such render state");
    }
    state_.renderStates[s] = value;
    markChanged(dirty::RenderStates);
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::GetRenderState(D3DRENDERSTATETYPE s, DWORD* value)
{
    trace::Call call("GetRenderState", s);
    if (value == nullptr || static_cast<std::uint32_t>(s) >= RenderStateCount) {
        return call.refuse(D3DERR_INVALIDCALL, value == nullptr ? "nowhere to write" : "no such render state");
    }
    *value = state_.renderStates[s];
    return call.result(D3D_OK);
}

BOOL STDMETHODCALLTYPE Device::ShowCursor(BOOL show)
{
    trace::Call call("ShowCursor", show);
    const BOOL previous = cursorShown_;
    cursorShown_ = show;
    return call.returns(previous);
}

HRESULT STDMETHODCALLTYPE Device::GetBackBuffer(UINT chain, UINT index, DWORD type, IDirect3DSurface9** surface)
{
    trace::Call call("GetBackBuffer", chain, index, type);
    if (surface != nullptr) {
        *surface = nullptr;
    }
    return call.notOffered("back-buffer-surface", "GetBackBuffer: frames reach the host at Present");
}

HRESULT STDMETHODCALLTYPE Device::SetFVF(DWORD fvf)
{
    trace::Call call("SetFVF", trace::Hex{fvf});
    fvf_ = fvf;
    layoutFromFvf_ = true;
    refreshElements();
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* matrix)
{
    trace::Call call("SetTransform", s, trace::lazy([matrix] {
                         return matrix == nullptr ? std::string("NULL") : trace::floats(&matrix->m[0][0], 16);
                     }));
    if (matrix == nullptr) {
        return call.refuse(D3DERR_INVALIDCALL, "no matrix");
    }
    const int slot = s == D3DTS_VIEW ? 1 : s == D3DTS_PROJECTION ? 2 : 0;
    transforms_[slot] = *matrix;
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset, UINT stride)
{
    trace::Call call("SetStreamSource", stream, nameOf(data), offset, stride);
    VertexBuffer* buffer = nullptr;
    if (stream >= StreamCount) {
        return call.refuse(D3DERR_INVALIDCALL, "no such stream");
    }
    if (!ownObject(data, buffer)) {
        return call.refuse(D3DERR_INVALIDCALL, "a buffer this runtime did not make");
    }
    if (stream != 0) {
        return call.notOffered("vertex-streams", "SetStreamSource: one vertex stream (stream 0)");
    }
    stream_.reset(buffer);
    state_.stream = buffer;
    state_.streamOffset = offset;
    state_.streamStride = stride;
    markChanged(dirty::Streams);
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::SetIndices(IDirect3DIndexBuffer9* data)
{
    trace::Call call("SetIndices", nameOf(data));
    if (!bindOwn(data, indices_)) {
        return call.refuse(D3DERR_INVALIDCALL, "a buffer this runtime did not make");
    }
    state_.indices = indices_.get();
    markChanged(dirty::Indices);
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    trace::Call call("SetVertexDeclaration", nameOf(declaration));
    if (!bindOwn(declaration, declaration_)) {
        return call.refuse(D3DERR_INVALIDCALL, "a declaration this runtime did not make");
    }
    layoutFromFvf_ = false;
    refreshElements();
    return call.result(D3D_OK);
}

// The layout draws read: the declaration's, unless SetFVF came after it.
void Device::refreshElements()
{
    if (layoutFromFvf_ || declaration_.get() == nullptr) {
        fvfElements_ = pipeline::elementsFromFvf(fvf_);
        state_.elements = &fvfElements_;
    } else {
        state_.elements = &declaration_.get()->elements();
    }
    markChanged(dirty::Declaration);
}

HRESULT STDMETHODCALLTYPE Device::SetVertexShader(IDirect3DVertexShader9* shader)
{
    trace::Call call("SetVertexShader", nameOf(shader));
    if (!bindOwn(shader, vertexShader_)) {
        return call.refuse(D3DERR_INVALIDCALL, "a program this runtime did not make");
    }
    state_.vertexShader = vertexShader_.get();
    markChanged(dirty::VertexShader);
    refreshVertexConstants();
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::SetPixelShader(IDirect3DPixelShader9* shader)
{
    trace::Call call("SetPixelShader", nameOf(shader));
    if (!bindOwn(shader, pixelShader_)) {
        return call.refuse(D3DERR_INVALIDCALL, "a program this runtime did not make");
    }
    state_.pixelShader = pixelShader_.get();
    markChanged(dirty::PixelShader);
    refreshPixelConstants();
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture)
{
    trace::Call call("SetTexture", stage, nameOf(texture));
    if (stage >= SamplerCount) {
        return call.refuse(D3DERR_INVALIDCALL, "no such sampler");
    }
    if (!bindOwn(texture, textures_[stage])) {
        return call.refuse(D3DERR_INVALIDCALL, "a texture this runtime did not make");
    }
    state_.textures[stage] = textures_[stage].get();
    markChanged(dirty::Textures);
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    trace::Call call("SetTextureStageState", stage, type, value);
    if (stage >= TextureStageCount || static_cast<std::uint32_t>(type) >= TextureStageStateCount) {
        return call.refuse(D3DERR_INVALIDCALL, "no such stage or state");
    }
    textureStageStates_[stage][type] = value; // no effect with a pixel program bound
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    trace::Call call("SetSamplerState", sampler, type, value);
    if (sampler >= SamplerCount || static_cast<std::uint32_t>(type) >= SamplerStateCount) {
        return call.refuse(D3DERR_INVALIDCALL, "no such sampler or state");
    }
    state_.samplerStates[sampler][type] = value; // point filtering and wrapping are what is drawn
    markChanged(dirty::SamplerStates);
    return call.result(D3D_OK);
}

namespace {

// A register at a time, read once and written to both copies (the ones set
// and the ones the programs see): the program sets a few registers per
// draw, thousands of times a frame, where a block copy's start-up (rep movs)
// costs more than the copy. A matrix, the most common upload, is one
// fixed-size block.
void copyRegisters(float* set, float* seen, const float* from, UINT count)
{
    if (count == 4) {
        float block[4 * 4];
        std::memcpy(block, from, sizeof block);
        std::memcpy(set, block, sizeof block);
        std::memcpy(seen, block, sizeof block);
        return;
    }
    for (UINT r = 0; r < count; ++r) {
        float value[4];
        std::memcpy(value, from + 4 * r, sizeof value);
        std::memcpy(set + 4 * r, value, sizeof value);
        std::memcpy(seen + 4 * r, value, sizeof value);
    }
}

bool constantsFit(const float* data, UINT start, UINT count, std::uint32_t registers)
{
    return data != nullptr && start <= registers && count <= registers - start;
}

// The registers' floats as a trace argument (a draw may come after every
// few constants: made only while tracing), or what stands for none.
auto floatsOf(const float* data, UINT start, UINT count, std::uint32_t registers)
{
    return trace::lazy([=] {
        return constantsFit(data, start, count, registers) ? trace::floats(data, 4u * count)
                                                           : std::string(data == nullptr ? "NULL" : "[...]");
    });
}

} // namespace

// The program sets four blocks of constants for each of its thousands of
// draws a frame: untraced and in range, the call is the store alone, with
// no trace line in the making (whose set-up cost more than the store).
HRESULT STDMETHODCALLTYPE Device::SetVertexShaderConstantF(UINT start, const float* data, UINT count)
{
    if (!trace::on() && constantsFit(data, start, count, VertexConstantRegisters)) [[likely]] {
        storeVertexConstants(start, data, count);
        return D3D_OK;
    }
    return setVertexConstantsTraced(start, data, count);
}

HRESULT Device::setVertexConstantsTraced(UINT start, const float* data, UINT count)
{
    trace::Call call("SetVertexShaderConstantF", start, floatsOf(data, start, count, VertexConstantRegisters), count);
    if (!constantsFit(data, start, count, VertexConstantRegisters)) {
        return call.refuse(D3DERR_INVALIDCALL, data == nullptr ? "no data" : "past the last register");
    }
    storeVertexConstants(start, data, count);
    return call.result(D3D_OK);
}

void Device::storeVertexConstants(UINT start, const float* data, UINT count)
{
    copyRegisters(setVertexConstants_ + 4 * start, state_.vertexConstants + 4 * start, data, count);
    const ProgramContents* program = state_.vertexShader;
    if (program != nullptr && program->definesAnyIn(start, count)) {
        program->applyDefinitions(state_.vertexConstants, VertexConstantRegisters);
    }
    markChanged(dirty::VertexConstants);
}

HRESULT STDMETHODCALLTYPE Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count)
{
    trace::Call call("SetPixelShaderConstantF", start, floatsOf(data, start, count, PixelConstantRegisters), count);
    if (!constantsFit(data, start, count, PixelConstantRegisters)) {
        return call.refuse(D3DERR_INVALIDCALL, data == nullptr ? "no data" : "past the last register");
    }
    std::memcpy(setPixelConstants_ + 4 * start, data, sizeof(float) * 4 * count);
    refreshPixelConstants();
    return call.result(D3D_OK);
}

// A program's defs take the place of the device's constants of the same
// number while it is bound.
void Device::refreshVertexConstants()
{
    std::memcpy(state_.vertexConstants, setVertexConstants_, sizeof setVertexConstants_);
    if (state_.vertexShader != nullptr) {
        state_.vertexShader->applyDefinitions(state_.vertexConstants, VertexConstantRegisters);
    }
    markChanged(dirty::VertexConstants);
}

void Device::refreshPixelConstants()
{
    std::memcpy(state_.pixelConstants, setPixelConstants_, sizeof setPixelConstants_);
    if (state_.pixelShader != nullptr) {
        state_.pixelShader->applyDefinitions(state_.pixelConstants, PixelConstantRegisters);
    }
    markChanged(dirty::PixelConstants);
}

} // namespace d3d9
