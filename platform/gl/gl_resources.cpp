// Textures of the OpenGL device: the plain-memory copy, its surface, and
// the upload into the GL texture (point filtering, wrap addressing, one
// level, as Direct3D 9's default sampler states draw it).
#include "gl/gl_resources.hpp"

#include <cstring>

namespace gl {

Texture::Texture(IDirect3DDevice9* device, UINT width, UINT height, D3DPOOL pool)
    : Resource(device, D3DRTYPE_TEXTURE), width_(width), height_(height), pool_(pool),
      texels_(static_cast<std::size_t>(width) * height)
{
    if (pool_ == D3DPOOL_SYSTEMMEM || pool_ == D3DPOOL_SCRATCH) {
        return;
    }
    glGenTextures(1, &name_);
    glBindTexture(GL_TEXTURE_2D, name_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    upload();
}

Texture::~Texture()
{
    if (name_ != 0) {
        glDeleteTextures(1, &name_);
    }
}

// Row 0 of the texels is texture row 0 (t = 0), as Direct3D's v = 0 is the
// first row: no flip.
void Texture::upload()
{
    if (name_ == 0) {
        return;
    }
    glBindTexture(GL_TEXTURE_2D, name_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_), 0, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, texels_.data());
}

void Texture::copyFrom(const Texture& source)
{
    texels_ = source.texels_;
    upload();
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
    upload();
    return D3D_OK;
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

} // namespace gl
