// The front end's IDirect3DDevice9: every argument check and documented
// HRESULT, the raw state arrays, the constant registers and the bound
// objects, written once for every back end. It owns its back end and
// hands it clears and draws only of frames somebody wants.
//
// Implemented: clears, scenes, Present, viewport, render, sampler and
// texture-stage states, transforms (stored; programs draw), FVF and vertex
// declarations, one vertex stream, indices, vertex and pixel programs and
// their float constants, one-level A8R8G8B8 textures, indexed triangle lists,
// strips and fans. Not offered (D3DERR_NOTAVAILABLE, reported once):
// fixed-function drawing, points and lines, more streams, other texture
// formats and levels, GetBackBuffer (frames reach the host at Present).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "d3d9/bound.hpp"
#include "d3d9/call_trace.hpp"
#include "d3d9/draw_state.hpp"
#include "d3d9/objects.hpp"
#include "d3d9/resources.hpp"

namespace d3d9 {

class Device final : public Object<IDirect3DDevice9> {
public:
    // backend draws at size; makeBackend makes it again when the host's
    // render size changes.
    Device(std::unique_ptr<Backend> backend, BackendMaker makeBackend, RenderSize size,
           const D3DPRESENT_PARAMETERS& parameters, const BackendOptions& options);

    HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                    DWORD stencil) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE Present(const RECT*, const RECT*, HWND, const RGNDATA*) override;
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL show) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT, UINT, DWORD, IDirect3DSurface9** surface) override;

    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                      IDirect3DVertexDeclaration9** declaration) override;
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override;
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                                 IDirect3DVertexBuffer9** buffer, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override;

    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override;
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset,
                                              UINT stride) override;
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* data) override;
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT start, const float* data, UINT count) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT start, const float* data, UINT count) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex, UINT vertices,
                                                   UINT startIndex, UINT primitives) override;

    // For the device's resources and programs.
    Backend& backend() { return *backend_; }
    void adopt(DeviceChild& child) { children_.insert(&child); }
    void disown(DeviceChild& child) { children_.erase(&child); }

private:
    ~Device() override;

    void setDefaultStates();
    void setViewport(const D3DVIEWPORT9& viewport);
    void markChanged(DirtyBits bits);
    HRESULT setVertexConstantsTraced(UINT start, const float* data, UINT count);
    void storeVertexConstants(UINT start, const float* data, UINT count);
    LONG toRenderX(std::int64_t x) const;
    LONG toRenderY(std::int64_t y) const;
    void followRenderSize();
    void remakeCopies();
    bool frameWanted();
    std::string nextName(const char* kind, int& counter);
    void refreshVertexConstants();
    void refreshPixelConstants();
    void refreshElements();
    HRESULT checkDraw(trace::Call& call, D3DPRIMITIVETYPE type, UINT startIndex, UINT primitives,
                      std::size_t& indexCount) const;
    template <typename Concrete, typename Interface>
    HRESULT createShader(const char* name, const char* kind, int& counter, shader::ShaderType type,
                         const DWORD* function, Interface** out);

    std::unique_ptr<Backend> backend_;
    BackendMaker makeBackend_;
    BackendOptions options_;
    std::int32_t programWidth_ = 0;   // the back buffer as the program made it
    std::int32_t programHeight_ = 0;
    D3DVIEWPORT9 programViewport_ = {}; // as the program set it; state_ holds it scaled
    DrawState state_;                 // as the back end sees it: sizes and viewport at its render size
    DWORD textureStageStates_[TextureStageCount][TextureStageStateCount] = {};
    D3DMATRIX transforms_[3] = {}; // world, view, projection: stored, unused with programs
    float setVertexConstants_[4 * VertexConstantRegisters] = {}; // as the program set them, before defs
    float setPixelConstants_[4 * PixelConstantRegisters] = {};
    DWORD fvf_ = 0;
    bool layoutFromFvf_ = false; // SetFVF came after SetVertexDeclaration
    std::vector<D3DVERTEXELEMENT9> fvfElements_;

    Bound<VertexBuffer> stream_;
    Bound<IndexBuffer> indices_;
    Bound<VertexDeclaration> declaration_;
    Bound<VertexShader> vertexShader_;
    Bound<PixelShader> pixelShader_;
    std::array<Bound<Texture>, SamplerCount> textures_;

    DrawCounts draws_;
    bool linkageStale_ = true; // the declaration or a program changed since state_.linkage was made                // this frame's
    std::set<DeviceChild*> children_;
    bool inScene_ = false;
    bool frameDecided_ = false; // whether this frame's pixels are wanted has been asked
    bool frameWanted_ = true;
    bool frameRendered_ = false;
    BOOL cursorShown_ = TRUE;
    int declarations_ = 0, vertexShaders_ = 0, pixelShaders_ = 0, vertexBuffers_ = 0, indexBuffers_ = 0,
        textureCount_ = 0;
};

} // namespace d3d9
