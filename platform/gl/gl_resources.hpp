// The OpenGL device's resources: buffers and textures with a copy in plain
// memory (what Lock hands out) mirrored into GL objects on Unlock, vertex
// declarations, and shader programs as compiled GL shader objects.
// Internal to platform/gl; every GL call needs the device's context current.
//
// A resource locked twice, or unlocked when not locked, is the caller's
// misuse and answers D3DERR_INVALIDCALL. Textures have one level,
// A8R8G8B8; system-memory textures have no GL object, default-pool ones a
// GL_RGBA8 texture filled from the B, G, R, A bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "com/ref_counted.hpp"
#include "d3d9.h"
#include "gl/gl_api.hpp"
#include "gl/glsl_translator.hpp"

namespace gl {

// Resources answer GetDevice with the device that made them, holding no
// reference on it (as the software device's do).
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
        glGenBuffers(1, &name_);
        glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
        glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(length), bytes_.data(), GL_STATIC_DRAW);
    }
    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD) override
    {
        const std::size_t length = bytes_.size();
        if (data == nullptr || locked_ || offset > length || (size != 0 && size > length - offset)) {
            return D3DERR_INVALIDCALL;
        }
        locked_ = true;
        lockOffset_ = offset;
        lockSize_ = size != 0 ? size : static_cast<UINT>(length - offset);
        *data = bytes_.data() + offset;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Unlock() override
    {
        if (!locked_) {
            return D3DERR_INVALIDCALL;
        }
        locked_ = false;
        glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
        glBufferSubData(GL_COPY_WRITE_BUFFER, lockOffset_, lockSize_, bytes_.data() + lockOffset_);
        return D3D_OK;
    }
    std::size_t size() const { return bytes_.size(); }
    D3DFORMAT format() const { return format_; }
    GLuint name() const { return name_; }

private:
    ~BufferResource() override { glDeleteBuffers(1, &name_); }
    std::vector<std::uint8_t> bytes_;
    D3DFORMAT format_;
    GLuint name_ = 0;
    bool locked_ = false;
    UINT lockOffset_ = 0;
    UINT lockSize_ = 0;
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
    void copyFrom(const Texture& source);
    D3DPOOL pool() const { return pool_; }
    UINT width() const { return width_; }
    UINT height() const { return height_; }
    GLuint name() const { return name_; } // 0 for a system-memory texture

private:
    ~Texture() override;
    void upload();
    UINT width_;
    UINT height_;
    D3DPOOL pool_;
    std::vector<std::uint32_t> texels_; // A8R8G8B8, width_ a row
    GLuint name_ = 0;
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
    const std::vector<D3DVERTEXELEMENT9>& elements() const { return elements_; } // end marker included

private:
    std::vector<D3DVERTEXELEMENT9> elements_;
};

// A program's tokens, its GLSL and the compiled GL shader object (0 when
// compiling failed; the errors were reported when it was made).
template <typename Interface>
class Shader final : public com::RefCounted<Interface> {
public:
    Shader(std::vector<std::uint32_t> tokens, GlslProgram glsl, GLuint name, std::uint64_t serial)
        : tokens_(std::move(tokens)), glsl_(std::move(glsl)), name_(name), serial_(serial)
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
    const GlslProgram& glsl() const { return glsl_; }
    GLuint name() const { return name_; }
    std::uint64_t serial() const { return serial_; } // names the object in the device's program cache

private:
    ~Shader() override
    {
        if (name_ != 0) {
            glDeleteShader(name_);
        }
    }
    std::vector<std::uint32_t> tokens_;
    GlslProgram glsl_;
    GLuint name_;
    std::uint64_t serial_;
};

using VertexShader = Shader<IDirect3DVertexShader9>;
using PixelShader9 = Shader<IDirect3DPixelShader9>;

} // namespace gl
