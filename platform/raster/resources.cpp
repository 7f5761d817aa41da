#include "raster/resources.hpp"

#include <cstring>

namespace raster {

Texture::Texture(IDirect3DDevice9* device, UINT width, UINT height, D3DPOOL pool)
    : Resource(device, D3DRTYPE_TEXTURE), width_(width), height_(height), pool_(pool),
      texels_(static_cast<std::size_t>(width) * height)
{
}

HRESULT STDMETHODCALLTYPE Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    if (level != 0 || desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *desc = D3DSURFACE_DESC{D3DFMT_A8R8G8B8, D3DRTYPE_SURFACE, 0, pool_, D3DMULTISAMPLE_NONE, 0, width_, height_};
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface)
{
    if (level != 0 || surface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    IDirect3DDevice9* device = nullptr;
    GetDevice(&device);
    *surface = new TextureSurface(device, *this);
    device->Release();
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD)
{
    return level == 0 ? lock(locked, rect) : D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Texture::UnlockRect(UINT level)
{
    return level == 0 ? unlock() : D3DERR_INVALIDCALL;
}

HRESULT Texture::lock(D3DLOCKED_RECT* locked, const RECT* rect)
{
    if (locked == nullptr || locked_) {
        return D3DERR_INVALIDCALL;
    }
    std::size_t first = 0;
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->right > static_cast<LONG>(width_) ||
            rect->bottom > static_cast<LONG>(height_) || rect->left >= rect->right || rect->top >= rect->bottom) {
            return D3DERR_INVALIDCALL;
        }
        first = static_cast<std::size_t>(rect->top) * width_ + static_cast<std::size_t>(rect->left);
    }
    locked_ = true;
    locked->Pitch = static_cast<INT>(width_ * 4);
    locked->pBits = texels_.data() + first;
    return D3D_OK;
}

HRESULT Texture::unlock()
{
    if (!locked_) {
        return D3DERR_INVALIDCALL;
    }
    locked_ = false;
    return D3D_OK;
}

SamplerTexture Texture::sampler() const
{
    SamplerTexture s;
    s.texels = texels_.data();
    s.width = static_cast<std::int32_t>(width_);
    s.height = static_cast<std::int32_t>(height_);
    s.pitch = static_cast<std::int32_t>(width_);
    return s;
}

TextureSurface::TextureSurface(IDirect3DDevice9* device, Texture& texture)
    : Resource(device, D3DRTYPE_SURFACE), texture_(texture)
{
    texture_.AddRef();
}

HRESULT STDMETHODCALLTYPE VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count)
{
    if (count == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *count = static_cast<UINT>(elements_.size());
    if (elements != nullptr) {
        std::memcpy(elements, elements_.data(), elements_.size() * sizeof(D3DVERTEXELEMENT9));
    }
    return D3D_OK;
}

} // namespace raster
