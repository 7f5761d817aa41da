// The software device's resources: reference-counted buffers, textures and
// their surfaces, vertex declarations and shader programs, all in plain
// memory. Internal to platform/raster.
//
// Locks hand out pointers into the resource's own memory; a resource locked
// twice, or unlocked when not locked, is the caller's misuse and answers
// D3DERR_INVALIDCALL. Textures have one level, A8R8G8B8, rows of
// width * 4 bytes.
#pragma once

#include <atomic>
#include <memory>
#include <cstdint>
#include <vector>

#include "com/ref_counted.hpp"
#include "d3d9.h"
#include "raster/shader_vm.hpp"

namespace raster {

class SoftwareDevice;

// Resources answer GetDevice with the device that made them. They hold no
// reference on it (the device holds references on what is bound to it, and
// a cycle would keep both alive); the program releases them first.
template <typename Interface>
class Resource : public com::RefCounted<Interface> {
public:
    Resource(IDirect3DDevice9* device, D3DRESOURCETYPE type) : device_(device), type_(type) {}
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override
    {
        if (device == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        device_->AddRef();
        *device = device_;
        return D3D_OK;
    }
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return type_; }

private:
    IDirect3DDevice9* device_;
    D3DRESOURCETYPE type_;
};

template <typename Interface>
class BufferResource final : public Resource<Interface> {
public:
    BufferResource(IDirect3DDevice9* device, D3DRESOURCETYPE type, UINT length, D3DFORMAT format)
        : Resource<Interface>(device, type), bytes_(length), format_(format)
    {
    }
    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD) override
    {
        const std::size_t length = bytes_.size();
        if (data == nullptr || locked_ || offset > length || (size != 0 && size > length - offset)) {
            return D3DERR_INVALIDCALL;
        }
        locked_ = true;
        *data = bytes_.data() + offset;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Unlock() override
    {
        if (!locked_) {
            return D3DERR_INVALIDCALL;
        }
        locked_ = false;
        return D3D_OK;
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    D3DFORMAT format() const { return format_; }

private:
    std::vector<std::uint8_t> bytes_;
    D3DFORMAT format_;
    bool locked_ = false;
};

using VertexBuffer = BufferResource<IDirect3DVertexBuffer9>;
using IndexBuffer = BufferResource<IDirect3DIndexBuffer9>;

class Texture final : public Resource<IDirect3DTexture9> {
public:
    Texture(IDirect3DDevice9* device, UINT width, UINT height, D3DPOOL pool);
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override;

    HRESULT lock(D3DLOCKED_RECT* locked, const RECT* rect);
    HRESULT unlock();
    void copyFrom(const Texture& source) { texels_ = source.texels_; }
    SamplerTexture sampler() const;
    D3DPOOL pool() const { return pool_; }
    UINT width() const { return width_; }
    UINT height() const { return height_; }

private:
    UINT width_;
    UINT height_;
    D3DPOOL pool_;
    std::vector<std::uint32_t> texels_; // A8R8G8B8, width_ a row
    bool locked_ = false;
};

// Level 0 of a texture; holds a reference to it.
class TextureSurface final : public Resource<IDirect3DSurface9> {
public:
    TextureSurface(IDirect3DDevice9* device, Texture& texture);
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override { return texture_.GetLevelDesc(0, desc); }
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD) override
    {
        return texture_.lock(locked, rect);
    }
    HRESULT STDMETHODCALLTYPE UnlockRect() override { return texture_.unlock(); }

private:
    ~TextureSurface() override { texture_.Release(); }
    Texture& texture_;
};

class VertexDeclaration final : public com::RefCounted<IDirect3DVertexDeclaration9> {
public:
    explicit VertexDeclaration(std::vector<D3DVERTEXELEMENT9> elements) : elements_(std::move(elements)) {}
    HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;
    // The elements, end marker included.
    const std::vector<D3DVERTEXELEMENT9>& elements() const { return elements_; }

private:
    std::vector<D3DVERTEXELEMENT9> elements_; // end marker included
};

template <typename Interface>
class Shader final : public com::RefCounted<Interface> {
public:
    Shader(std::vector<std::uint32_t> tokens, ShaderProgram program)
        : tokens_(std::move(tokens)), program_(std::make_shared<const ShaderProgram>(std::move(program)))
    {
    }
    HRESULT STDMETHODCALLTYPE GetFunction(void* data, UINT* size) override
    {
        if (size == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *size = static_cast<UINT>(tokens_.size() * 4);
        if (data != nullptr) {
            std::copy(tokens_.begin(), tokens_.end(), static_cast<std::uint32_t*>(data));
        }
        return D3D_OK;
    }
    const ShaderProgram& program() const { return *program_; }
    // Shared with queued draws, which may outlive the object.
    const std::shared_ptr<const ShaderProgram>& sharedProgram() const { return program_; }

private:
    std::vector<std::uint32_t> tokens_;
    std::shared_ptr<const ShaderProgram> program_;
};

using VertexShader = Shader<IDirect3DVertexShader9>;
using PixelShader9 = Shader<IDirect3DPixelShader9>;

// The resource behind an interface pointer the program hands back, or NULL
// for one this runtime did not make.
template <typename Concrete, typename Interface>
Concrete* ownResource(Interface* object)
{
    return dynamic_cast<Concrete*>(object);
}

} // namespace raster
