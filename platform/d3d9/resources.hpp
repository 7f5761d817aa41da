// The front end's resources: vertex and index buffers, one-level A8R8G8B8
// textures and their surfaces, vertex declarations and shader programs.
// Their contents live here, in plain memory; Lock hands out pointers into
// it, and Unlock tells the back end what changed. A resource locked twice,
// or unlocked when not locked, is the caller's misuse: D3DERR_INVALIDCALL.
// Texture rows are width * 4 bytes plus the runtime's row padding (Pitch
// says how many), row 0 first.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "d3d9/backend.hpp"
#include "d3d9/objects.hpp"
#include "pipeline/vertex_layout.hpp"
#include "shader/bytecode.hpp"
#include "shader/compiled_program.hpp"
#include "shader/program_analysis.hpp"

namespace d3d9::trace {
class Call;
}

namespace d3d9 {

// What vertex and index buffers share; their contents are BufferContents.
class Buffer : public ResourceBase, public BufferContents {
public:
    Buffer(Device& device, D3DRESOURCETYPE type, UINT length, D3DFORMAT format)
        : ResourceBase(device, type), BufferContents(length, format)
    {
    }
    ~Buffer() override { beforeChange(); }
    std::unique_ptr<DeviceCopy> makeCopy(Backend& backend) const override { return backend.copyBuffer(*this); }

protected:
    HRESULT lock(trace::Call& call, UINT offset, UINT size, void** data);
    HRESULT unlock(trace::Call& call);

private:
    bool locked_ = false;
    UINT lockOffset_ = 0;
    UINT lockSize_ = 0;
};

template <typename Interface>
class BufferObject final : public Object<Interface>, public Buffer {
public:
    BufferObject(Device& device, std::string name, D3DRESOURCETYPE type, UINT length, D3DFORMAT format)
        : Object<Interface>(std::move(name)), Buffer(device, type, length, format)
    {
    }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override { return getDevice(device); }
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return type(); }
    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
};

using VertexBuffer = BufferObject<IDirect3DVertexBuffer9>;
using IndexBuffer = BufferObject<IDirect3DIndexBuffer9>;

class Texture : public Object<IDirect3DTexture9>, public ResourceBase, public TextureContents {
public:
    Texture(Device& device, std::string name, UINT width, UINT height, D3DPOOL pool, std::int32_t rowPadding);
    ~Texture() override { beforeChange(); }
    std::unique_ptr<DeviceCopy> makeCopy(Backend& backend) const override { return backend.copyTexture(*this); }

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override { return getDevice(device); }
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return type(); }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override;

    // Level 0, for the texture and its surface alike.
    HRESULT lock(trace::Call& call, D3DLOCKED_RECT* locked, const RECT* rect);
    HRESULT unlock(trace::Call& call);
    // UpdateTexture's copy: the pixels of a texture of the same size.
    void copyPixelsFrom(const Texture& source);

private:
    bool locked_ = false;
};

// Level 0 of a texture; holds a reference to it.
class Surface final : public Object<IDirect3DSurface9>, public ResourceBase {
public:
    Surface(Device& device, Texture& texture);
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override { return getDevice(device); }
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return type(); }
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override { return texture_.GetLevelDesc(0, desc); }
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;

private:
    ~Surface() override { texture_.releaseOwn(); }
    Texture& texture_;
};

class VertexDeclaration final : public Object<IDirect3DVertexDeclaration9> {
public:
    VertexDeclaration(std::string name, std::vector<D3DVERTEXELEMENT9> elements)
        : Object(std::move(name)), elements_(std::move(elements))
    {
    }
    HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;
    const std::vector<D3DVERTEXELEMENT9>& elements() const { return elements_; } // end marker included

private:
    std::vector<D3DVERTEXELEMENT9> elements_;
};

// A program: its contents are ProgramContents.
class Shader : public DeviceChild, public ProgramContents {
public:
    Shader(Device& device, std::vector<std::uint32_t> tokens, shader::ProgramAnalysis analysis)
        : DeviceChild(device), ProgramContents(std::move(tokens), std::move(analysis))
    {
    }
    std::unique_ptr<DeviceCopy> makeCopy(Backend& backend) const override { return backend.copyProgram(*this); }

protected:
    HRESULT getFunction(void* data, UINT* size) const;
};

template <typename Interface>
class ShaderObject final : public Object<Interface>, public Shader {
public:
    ShaderObject(Device& device, std::string name, std::vector<std::uint32_t> tokens,
                 shader::ProgramAnalysis analysis)
        : Object<Interface>(std::move(name)), Shader(device, std::move(tokens), std::move(analysis))
    {
    }
    HRESULT STDMETHODCALLTYPE GetFunction(void* data, UINT* size) override { return getFunction(data, size); }
};

using VertexShader = ShaderObject<IDirect3DVertexShader9>;
using PixelShader = ShaderObject<IDirect3DPixelShader9>;

} // namespace d3d9
