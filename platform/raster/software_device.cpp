// The software runtime's IDirect3D9 and IDirect3DDevice9.
//
// Draws are processed as they arrive through the vertex stage and triangle
// set-up; their scanning waits in a queue until the scene ends (or a clear
// or Present needs the target), then runs on all rasterizer threads at
// once, each over its own interleaved bands of rows, every band taking the
// draws in order, so that the picture does not depend on the threads.
// Failures are sorted as Direct3D sorts them: the caller's misuse answers
// D3DERR_INVALIDCALL; what this runtime never offers (fixed-function
// drawing, points and lines, other formats) answers D3DERR_NOTAVAILABLE.
#include "raster/software_device.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "raster/device_state.hpp"
#include "raster/pixel_stage.hpp"
#include "raster/vertex_stage.hpp"
#include "shader/bytecode.hpp"

namespace raster {
namespace {

SoftwareOptions configured;

constexpr std::int32_t BandRows = 16; // rows a rasterizer thread takes at a time

CullMode cullModeOf(DWORD value)
{
    switch (value) {
    case D3DCULL_NONE: return CullMode::None;
    case D3DCULL_CCW: return CullMode::CounterClockwise;
    default: return CullMode::Clockwise;
    }
}

class SoftwareDevice final : public com::RefCounted<IDirect3DDevice9> {
public:
    SoftwareDevice(const D3DPRESENT_PARAMETERS& parameters, SoftwareOptions options) : options_(std::move(options))
    {
        const std::int32_t width = parameters.BackBufferWidth != 0 ? static_cast<std::int32_t>(parameters.BackBufferWidth) : 1024;
        const std::int32_t height = parameters.BackBufferHeight != 0 ? static_cast<std::int32_t>(parameters.BackBufferHeight) : 768;
        const std::int32_t samples = parameters.MultiSampleType >= D3DMULTISAMPLE_2_SAMPLES ? 4 : 1;
        state_.target.resize(width, height, samples);
        // A new back buffer shows opaque black, its depth buffer the far plane.
        clearColor(state_.target, 0, 0, width, height, 0xFF000000u);
        clearDepth(state_.target, 0, 0, width, height, 1.0f);
        state_.frame.assign(static_cast<std::size_t>(width) * height, 0xFF000000u);
        state_.viewport = {0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0.0f, 1.0f};
        setDefaultStates();
        threads_ = options_.threads > 0 ? options_.threads
                                        : std::max(1, static_cast<std::int32_t>(std::thread::hardware_concurrency()));
    }

    HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                    DWORD) override
    {
        if ((count != 0 && rects == nullptr) || (flags & ~7u) != 0) {
            return D3DERR_INVALIDCALL;
        }
        if (!frameWanted()) {
            return D3D_OK;
        }
        flush();
        const D3DVIEWPORT9& v = state_.viewport;
        const D3DRECT whole = {static_cast<LONG>(v.X), static_cast<LONG>(v.Y), static_cast<LONG>(v.X + v.Width),
                               static_cast<LONG>(v.Y + v.Height)};
        for (DWORD i = 0; i < std::max<DWORD>(count, 1); ++i) {
            const D3DRECT r = count == 0 ? whole : intersect(rects[i], whole);
            if ((flags & D3DCLEAR_TARGET) != 0) {
                clearColor(state_.target, r.x1, r.y1, r.x2, r.y2, color);
            }
            if ((flags & D3DCLEAR_ZBUFFER) != 0) {
                clearDepth(state_.target, r.x1, r.y1, r.x2, r.y2, z);
            }
        }
        state_.frameRendered = true;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE BeginScene() override
    {
        if (state_.inScene) {
            return D3DERR_INVALIDCALL;
        }
        state_.inScene = true;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE EndScene() override
    {
        if (!state_.inScene) {
            return D3DERR_INVALIDCALL;
        }
        state_.inScene = false;
        flush();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Present(const RECT*, const RECT*, HWND, const RGNDATA*) override
    {
        flush();
        const bool rendered = state_.frameDecided ? state_.frameWanted && state_.frameRendered : false;
        if (rendered) {
            resolve(state_.target, state_.frame.data());
        }
        if (options_.onPresent) {
            options_.onPresent(PresentedFrame{state_.target.width, state_.target.height, state_.frame.data(), rendered});
        }
        state_.frameDecided = false;
        state_.frameRendered = false;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* v) override
    {
        if (v == nullptr || v->Width == 0 || v->Height == 0 ||
            static_cast<std::int64_t>(v->X) + v->Width > state_.target.width ||
            static_cast<std::int64_t>(v->Y) + v->Height > state_.target.height || !(v->MinZ >= 0.0f) ||
            !(v->MaxZ <= 1.0f) || v->MinZ > v->MaxZ) {
            return D3DERR_INVALIDCALL;
        }
        state_.viewport = *v;
        state_.drawState.reset();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* v) override
    {
        if (v == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *v = state_.viewport;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE s, DWORD value) override
    {
        if (static_cast<std::uint32_t>(s) >= 256) {
            return D3DERR_INVALIDCALL;
        }
        state_.renderStates[s] = value;
        state_.drawState.reset();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE s, DWORD* value) override
    {
        if (value == nullptr || static_cast<std::uint32_t>(s) >= 256) {
            return D3DERR_INVALIDCALL;
        }
        *value = state_.renderStates[s];
        return D3D_OK;
    }
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL show) override
    {
        const BOOL previous = cursorShown_;
        cursorShown_ = show;
        return previous;
    }
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT, UINT, DWORD, IDirect3DSurface9** surface) override
    {
        if (surface != nullptr) {
            *surface = nullptr;
        }
        return D3DERR_NOTAVAILABLE; // frames reach the host through onPresent
    }

    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                      IDirect3DVertexDeclaration9** declaration) override
    {
        if (elements == nullptr || declaration == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        std::vector<D3DVERTEXELEMENT9> copy;
        for (std::size_t i = 0; i < 64; ++i) {
            copy.push_back(elements[i]);
            if (elements[i].Stream == 0xFF) {
                *declaration = new VertexDeclaration(std::move(copy));
                return D3D_OK;
            }
            if (!supportedElementType(elements[i].Type)) {
                return D3DERR_NOTAVAILABLE;
            }
        }
        return D3DERR_INVALIDCALL; // no end marker
    }
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override
    {
        return createShader<VertexShader>(function, shader::ShaderType::Vertex, shader);
    }
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override
    {
        return createShader<PixelShader9>(function, shader::ShaderType::Pixel, shader);
    }
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD, DWORD, D3DPOOL pool,
                                                 IDirect3DVertexBuffer9** buffer, HANDLE* shared) override
    {
        if (length == 0 || buffer == nullptr || shared != nullptr || pool > D3DPOOL_SCRATCH) {
            return D3DERR_INVALIDCALL;
        }
        *buffer = new VertexBuffer(this, D3DRTYPE_VERTEXBUFFER, length, D3DFMT_UNKNOWN);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT length, DWORD, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DIndexBuffer9** buffer, HANDLE* shared) override
    {
        if (length == 0 || buffer == nullptr || shared != nullptr || pool > D3DPOOL_SCRATCH ||
            (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) {
            return D3DERR_INVALIDCALL;
        }
        *buffer = new IndexBuffer(this, D3DRTYPE_INDEXBUFFER, length, format);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override
    {
        if (texture == nullptr || shared != nullptr || width == 0 || height == 0 || width > 4096 ||
            height > 4096 || pool > D3DPOOL_SCRATCH) {
            return D3DERR_INVALIDCALL;
        }
        if (levels != 1 || format != D3DFMT_A8R8G8B8) {
            return D3DERR_NOTAVAILABLE; // one-level A8R8G8B8 textures only
        }
        *texture = new Texture(this, width, height, pool);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override
    {
        auto* from = ownResource<Texture>(source);
        auto* to = ownResource<Texture>(destination);
        if (from == nullptr || to == nullptr || from->pool() != D3DPOOL_SYSTEMMEM ||
            to->pool() != D3DPOOL_DEFAULT || from->width() != to->width() || from->height() != to->height()) {
            return D3DERR_INVALIDCALL;
        }
        flush(); // queued draws may sample the destination
        to->copyFrom(*from);
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override
    {
        state_.fvf = fvf;
        state_.layoutFromFvf = true;
        layoutCurrent_ = false;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* matrix) override
    {
        if (matrix == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        const int slot = s == D3DTS_VIEW ? 1 : s == D3DTS_PROJECTION ? 2 : 0;
        state_.transforms[slot] = *matrix;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset,
                                              UINT stride) override
    {
        if (stream != 0) {
            return stream < 16 ? D3DERR_NOTAVAILABLE : D3DERR_INVALIDCALL; // one stream
        }
        state_.stream.reset(data);
        state_.streamOffset = offset;
        state_.streamStride = stride;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* data) override
    {
        state_.indices.reset(data);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override
    {
        state_.declaration.reset(declaration);
        state_.layoutFromFvf = false;
        layoutCurrent_ = false;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* shader) override
    {
        state_.vertexShader.reset(shader);
        layoutCurrent_ = false;
        refreshVertexProgramConstants();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* shader) override
    {
        state_.pixelShader.reset(shader);
        state_.drawState.reset();
        layoutCurrent_ = false;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override
    {
        if (stage >= static_cast<DWORD>(SamplerCount)) {
            return D3DERR_INVALIDCALL;
        }
        state_.textures[stage].reset(texture);
        state_.drawState.reset();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override
    {
        if (stage >= 8 || static_cast<std::uint32_t>(type) >= 33) {
            return D3DERR_INVALIDCALL;
        }
        state_.textureStageStates[stage][type] = value; // no effect with a pixel program bound
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override
    {
        if (sampler >= static_cast<DWORD>(SamplerCount) || static_cast<std::uint32_t>(type) >= 14) {
            return D3DERR_INVALIDCALL;
        }
        state_.samplerStates[sampler][type] = value; // point filtering and wrapping are what is drawn
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT start, const float* data, UINT count) override
    {
        const HRESULT result = setConstants(state_.vertexConstants, VertexConstantRegisters, start, data, count);
        if (result == D3D_OK) {
            std::memcpy(state_.vertexProgramConstants.data() + 4 * start, data, sizeof(float) * 4 * count);
            const VertexShader* shader = state_.vertexShader.concrete();
            if (shader != nullptr && shader->program().definesAnyIn(start, count)) {
                shader->program().applyDefinitions(state_.vertexProgramConstants.data(), VertexConstantRegisters);
            }
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT start, const float* data, UINT count) override
    {
        state_.drawState.reset();
        return setConstants(state_.pixelConstants, PixelConstantRegisters, start, data, count);
    }
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex, UINT vertices,
                                                   UINT startIndex, UINT primitives) override;

private:
    ~SoftwareDevice() override = default;

    void setDefaultStates();
    // The input bindings and varyings of the bound declaration and programs.
    void updateLayout(const VertexShader& vertexShader, const PixelShader9& pixelShader)
    {
        std::vector<D3DVERTEXELEMENT9> elements;
        const VertexDeclaration* declaration = state_.declaration.concrete();
        if (state_.layoutFromFvf || declaration == nullptr) {
            elements = elementsFromFvf(state_.fvf);
        } else {
            elements = declaration->elements();
        }
        vertexInput_.bindings = bindInputs(elements, vertexShader.program());
        vertexInput_.varyings = varyingsOf(pixelShader.program());
        layoutCurrent_ = true;
    }
    void refreshVertexProgramConstants()
    {
        state_.vertexProgramConstants = state_.vertexConstants;
        if (const VertexShader* shader = state_.vertexShader.concrete()) {
            shader->program().applyDefinitions(state_.vertexProgramConstants.data(), VertexConstantRegisters);
        }
    }
    bool frameWanted();
    void flush();
    void rasterizeBands(std::int32_t thread, std::int32_t threadCount);
    static D3DRECT intersect(const D3DRECT& a, const D3DRECT& b)
    {
        D3DRECT r = {std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
        r.x2 = std::max(r.x1, r.x2);
        r.y2 = std::max(r.y1, r.y2);
        return r;
    }
    static HRESULT setConstants(std::vector<float>& constants, std::int32_t registers, UINT start, const float* data,
                                UINT count)
    {
        if (data == nullptr || start > static_cast<UINT>(registers) || count > static_cast<UINT>(registers) - start) {
            return D3DERR_INVALIDCALL;
        }
        std::memcpy(constants.data() + 4 * start, data, sizeof(float) * 4 * count);
        return D3D_OK;
    }
    template <typename Concrete, typename Interface>
    HRESULT createShader(const DWORD* function, shader::ShaderType type, Interface** out)
    {
        if (function == nullptr || out == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        const std::size_t length = shader::measureProgram(function, 1 << 16);
        std::vector<std::uint32_t> tokens(function, function + length);
        ShaderProgram program;
        std::string error;
        if (length == 0 || !program.load(tokens.data(), tokens.size(), error) || program.type() != type) {
            return D3DERR_INVALIDCALL;
        }
        *out = new Concrete(std::move(tokens), std::move(program));
        return D3D_OK;
    }
    bool indicesInRange(D3DPRIMITIVETYPE type, UINT startIndex, UINT primitives) const;
    void gatherTriangles(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertices, UINT startIndex, UINT primitives,
                         std::vector<std::uint32_t>& corners) const;
    std::shared_ptr<const DrawState> makeDrawState(const PixelShader9& pixelShader) const;

    SoftwareOptions options_;
    DeviceState state_;
    std::int32_t threads_ = 1;
    BOOL cursorShown_ = TRUE;
    std::vector<ShadedVertex> shaded_;     // reused by every draw
    std::vector<std::uint32_t> corners_;   // likewise
    VertexStageInput vertexInput_ = {};    // its bindings and varyings kept while layoutCurrent_
    bool layoutCurrent_ = false;           // cleared by declaration, FVF and program changes
};

void SoftwareDevice::setDefaultStates()
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
        sampler[D3DSAMP_ADDRESSU] = 1; // D3DTADDRESS_WRAP
        sampler[D3DSAMP_ADDRESSV] = 1;
        sampler[D3DSAMP_MAGFILTER] = 1; // D3DTEXF_POINT
        sampler[D3DSAMP_MINFILTER] = 1;
        sampler[D3DSAMP_MIPFILTER] = 0;
    }
}

bool SoftwareDevice::frameWanted()
{
    if (!state_.frameDecided) {
        state_.frameWanted = !options_.wantsPixels || options_.wantsPixels();
        state_.frameDecided = true;
    }
    return state_.frameWanted;
}

// Whether the draw's indices lie inside the bound index buffer.
bool SoftwareDevice::indicesInRange(D3DPRIMITIVETYPE type, UINT startIndex, UINT primitives) const
{
    const IndexBuffer* buffer = state_.indices.concrete();
    if (buffer == nullptr) {
        return false;
    }
    const std::size_t indexBytes = buffer->format() == D3DFMT_INDEX32 ? 4 : 2;
    const std::size_t needed = type == D3DPT_TRIANGLELIST ? 3u * std::size_t{primitives} : primitives + 2u;
    const std::size_t available = buffer->bytes().size() / indexBytes;
    return startIndex <= available && needed <= available - startIndex;
}

// Corner numbers relative to MinVertexIndex, three a triangle.
void SoftwareDevice::gatherTriangles(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertices, UINT startIndex,
                                     UINT primitives, std::vector<std::uint32_t>& corners) const
{
    const IndexBuffer* buffer = state_.indices.concrete();
    const std::size_t indexBytes = buffer->format() == D3DFMT_INDEX32 ? 4 : 2;
    auto indexAt = [&](std::size_t i) {
        std::uint32_t value = 0;
        std::memcpy(&value, buffer->bytes().data() + (startIndex + i) * indexBytes, indexBytes);
        return value;
    };
    corners.clear();
    for (UINT p = 0; p < primitives; ++p) {
        std::uint32_t c[3];
        if (type == D3DPT_TRIANGLELIST) {
            c[0] = indexAt(3u * p), c[1] = indexAt(3u * p + 1), c[2] = indexAt(3u * p + 2);
        } else if (type == D3DPT_TRIANGLESTRIP) {
            const bool odd = (p & 1) != 0; // every other triangle swaps two corners to keep the winding
            c[0] = indexAt(p), c[1] = indexAt(odd ? p + 2 : p + 1), c[2] = indexAt(odd ? p + 1 : p + 2);
        } else {
            c[0] = indexAt(0), c[1] = indexAt(p + 1), c[2] = indexAt(p + 2);
        }
        // A corner outside the announced vertex range is not shaded: the
        // triangle is left out rather than read from nowhere.
        bool inside = true;
        for (std::uint32_t& corner : c) {
            inside = inside && corner >= minIndex && corner - minIndex < vertices;
            corner -= minIndex;
        }
        if (inside) {
            corners.insert(corners.end(), c, c + 3);
        }
    }
}

std::shared_ptr<const DrawState> SoftwareDevice::makeDrawState(const PixelShader9& pixelShader) const
{
    auto made = std::make_shared<DrawState>();
    DrawState& draw = *made;
    const D3DVIEWPORT9& v = state_.viewport;
    draw.viewport = {static_cast<std::int32_t>(v.X), static_cast<std::int32_t>(v.Y), static_cast<std::int32_t>(v.Width),
                     static_cast<std::int32_t>(v.Height), v.MinZ, v.MaxZ};
    draw.cull = cullModeOf(state_.renderStates[D3DRS_CULLMODE]);
    draw.depthTest = state_.renderStates[D3DRS_ZENABLE] != D3DZB_FALSE &&
                     state_.renderStates[D3DRS_ZFUNC] != D3DCMP_ALWAYS;
    draw.depthWrite = state_.renderStates[D3DRS_ZENABLE] != D3DZB_FALSE && state_.renderStates[D3DRS_ZWRITEENABLE] != 0;
    PixelStageInput input;
    input.program = pixelShader.sharedProgram();
    input.constants = state_.pixelConstants;
    input.program->applyDefinitions(input.constants.data(), PixelConstantRegisters);
    for (std::int32_t s = 0; s < SamplerCount; ++s) {
        const Texture* texture = state_.textures[static_cast<std::size_t>(s)].concrete();
        input.samplers[static_cast<std::size_t>(s)] = texture != nullptr ? texture->sampler() : SamplerTexture{};
    }
    draw.varyingCount = static_cast<std::int32_t>(varyingsOf(*input.program).size());
    draw.shade = makePixelShader(std::move(input));
    return made;
}

HRESULT STDMETHODCALLTYPE SoftwareDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex,
                                                              UINT vertices, UINT startIndex, UINT primitives)
{
    if (!state_.inScene) {
        return D3DERR_INVALIDCALL;
    }
    if (type != D3DPT_TRIANGLELIST && type != D3DPT_TRIANGLESTRIP && type != D3DPT_TRIANGLEFAN) {
        return D3DERR_NOTAVAILABLE; // points and lines are not drawn
    }
    const VertexShader* vertexShader = state_.vertexShader.concrete();
    const PixelShader9* pixelShader = state_.pixelShader.concrete();
    const VertexBuffer* stream = state_.stream.concrete();
    if (vertexShader == nullptr || pixelShader == nullptr || stream == nullptr) {
        return D3DERR_NOTAVAILABLE; // no fixed-function pipeline
    }
    if (!indicesInRange(type, startIndex, primitives)) {
        return D3DERR_INVALIDCALL;
    }
    if (!frameWanted()) {
        return D3D_OK;
    }
    gatherTriangles(type, minIndex, vertices, startIndex, primitives, corners_);
    if (corners_.empty()) {
        return D3D_OK;
    }
    if (!layoutCurrent_) {
        updateLayout(*vertexShader, *pixelShader);
    }
    VertexStageInput& vertexInput = vertexInput_;
    vertexInput.program = &vertexShader->program();
    vertexInput.constants = state_.vertexProgramConstants.data();
    vertexInput.stream = stream->bytes().data();
    vertexInput.streamSize = stream->bytes().size();
    vertexInput.streamOffset = state_.streamOffset;
    vertexInput.stride = state_.streamStride;
    vertexInput.firstVertex = static_cast<std::int64_t>(base) + minIndex;
    vertexInput.vertexCount = static_cast<std::int32_t>(vertices);
    state_.frameRendered = true;
    if (rangeIsOutsideView(vertexInput)) {
        return D3D_OK; // nothing of it can be seen
    }
    shadeVertices(vertexInput, shaded_);
    if (state_.drawState == nullptr) {
        state_.drawState = makeDrawState(*pixelShader);
    }
    QueuedDraw draw;
    draw.state = state_.drawState;
    setupTriangles(*draw.state, shaded_.data(), corners_.data(), corners_.size() / 3, draw.triangles);
    if (!draw.triangles.empty()) {
        state_.queue.push_back(std::move(draw));
    }
    return D3D_OK;
}

void SoftwareDevice::rasterizeBands(std::int32_t thread, std::int32_t threadCount)
{
    const std::int32_t top = static_cast<std::int32_t>(state_.viewport.Y);
    const std::int32_t bottom = top + static_cast<std::int32_t>(state_.viewport.Height);
    for (std::int32_t row = top + thread * BandRows; row < bottom; row += threadCount * BandRows) {
        const std::int32_t end = std::min(row + BandRows, bottom);
        for (const QueuedDraw& draw : state_.queue) {
            rasterizeTriangles(state_.target, *draw.state, draw.triangles.data(), draw.triangles.size(), row, end);
        }
    }
}

void SoftwareDevice::flush()
{
    if (state_.queue.empty()) {
        return;
    }
    // Draws of one scene share the viewport in this program; a draw whose
    // viewport differs still scans only inside its own.
    std::vector<std::thread> helpers;
    for (std::int32_t t = 1; t < threads_; ++t) {
        helpers.emplace_back([this, t] { rasterizeBands(t, threads_); });
    }
    rasterizeBands(0, threads_);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    state_.queue.clear();
}

class SoftwareDirect3D final : public com::RefCounted<IDirect3D9> {
public:
    explicit SoftwareDirect3D(SoftwareOptions options) : options_(std::move(options)) {}

    UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL,
                                                         D3DMULTISAMPLE_TYPE samples, DWORD* quality) override
    {
        if (adapter != 0 || type != D3DDEVTYPE_HAL) {
            return D3DERR_INVALIDCALL;
        }
        const bool formatOk = format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 || format == D3DFMT_D16;
        const bool supported = formatOk && (samples == D3DMULTISAMPLE_NONE ||
                                            (options_.multisampleSupported && (samples == D3DMULTISAMPLE_2_SAMPLES ||
                                                                               samples == D3DMULTISAMPLE_4_SAMPLES)));
        if (quality != nullptr) {
            *quality = supported ? 1 : 0;
        }
        return supported ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD,
                                           D3DPRESENT_PARAMETERS* p, IDirect3DDevice9** device) override
    {
        if (device == nullptr || p == nullptr || adapter != 0 || type != D3DDEVTYPE_HAL) {
            return D3DERR_INVALIDCALL;
        }
        *device = nullptr;
        if ((p->BackBufferFormat != D3DFMT_A8R8G8B8 && p->BackBufferFormat != D3DFMT_X8R8G8B8) ||
            p->BackBufferWidth > 8192 || p->BackBufferHeight > 8192 ||
            (p->MultiSampleType != D3DMULTISAMPLE_NONE && !options_.multisampleSupported)) {
            return D3DERR_NOTAVAILABLE;
        }
        if (!p->Windowed) {
            // A full-screen device shows its window and covers the screen with it.
            const HWND window = p->hDeviceWindow != nullptr ? p->hDeviceWindow : focus;
            const int width = p->BackBufferWidth != 0 ? static_cast<int>(p->BackBufferWidth) : 1024;
            const int height = p->BackBufferHeight != 0 ? static_cast<int>(p->BackBufferHeight) : 768;
            SetWindowPos(window, nullptr, 0, 0, width, height, SWP_SHOWWINDOW);
        }
        *device = new SoftwareDevice(*p, options_);
        return D3D_OK;
    }

private:
    ~SoftwareDirect3D() override = default;
    SoftwareOptions options_;
};

} // namespace

void configureSoftwareDevice(SoftwareOptions options)
{
    configured = std::move(options);
}

IDirect3D9* WINAPI softwareDirect3DCreate9(UINT sdkVersion)
{
    return sdkVersion == D3D_SDK_VERSION ? new SoftwareDirect3D(configured) : nullptr;
}

} // namespace raster
