#include "d3d9/resources.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "d3d9/call_trace.hpp"
#include "d3d9/device.hpp"
#include "d3d9/failures.hpp"
#include "shader/opcode_table.hpp"

namespace d3d9 {

namespace {

// Content stamps for every buffer of the process, never one twice.
std::uint64_t newContentStamp()
{
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

BufferContents::BufferContents(UINT length, D3DFORMAT format)
    : bytes_(length), format_(format), contentStamp_(newContentStamp())
{
}

void BufferContents::renewContentStamp()
{
    contentStamp_ = newContentStamp();
}

HRESULT Buffer::lock(trace::Call& call, UINT offset, UINT size, void** data)
{
    const std::size_t length = bytes_.size();
    if (data == nullptr || locked_) {
        return call.refuse(D3DERR_INVALIDCALL, locked_ ? "already locked" : "nowhere to write");
    }
    if (offset > length || (size != 0 && size > length - offset)) {
        return call.refuse(D3DERR_INVALIDCALL, "past the buffer's end");
    }
    beforeChange();
    renewContentStamp(); // written from now on: nothing kept of the old contents stands
    locked_ = true;
    lockOffset_ = offset;
    lockSize_ = size != 0 ? size : static_cast<UINT>(length - offset);
    *data = bytes_.data() + offset;
    return call.result(D3D_OK);
}

HRESULT Buffer::unlock(trace::Call& call)
{
    if (!locked_) {
        return call.refuse(D3DERR_INVALIDCALL, "not locked");
    }
    locked_ = false;
    renewContentStamp(); // what was kept while it was locked may not stand
    if (Backend* b = backend()) {
        b->updateBuffer(*this, lockOffset_, lockSize_);
    }
    return call.result(D3D_OK);
}

template <typename Interface>
HRESULT STDMETHODCALLTYPE BufferObject<Interface>::Lock(UINT offset, UINT size, void** data, DWORD flags)
{
    trace::Call call("Lock", this->name(), offset, size, trace::Hex{flags});
    return lock(call, offset, size, data);
}

template <typename Interface>
HRESULT STDMETHODCALLTYPE BufferObject<Interface>::Unlock()
{
    trace::Call call("Unlock", this->name());
    return unlock(call);
}

template class BufferObject<IDirect3DVertexBuffer9>;
template class BufferObject<IDirect3DIndexBuffer9>;

TextureContents::TextureContents(UINT width, UINT height, D3DPOOL pool, std::int32_t rowPadding)
    : width_(width), height_(height), pool_(pool),
      pitch_(width + static_cast<std::uint32_t>(std::max(rowPadding, 0) + 3) / 4),
      texels_(static_cast<std::size_t>(pitch_) * height)
{
}

Texture::Texture(Device& device, std::string name, UINT width, UINT height, D3DPOOL pool, std::int32_t rowPadding)
    : Object(std::move(name)), ResourceBase(device, D3DRTYPE_TEXTURE),
      TextureContents(width, height, pool, rowPadding)
{
}

HRESULT STDMETHODCALLTYPE Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    trace::Call call("GetLevelDesc", name(), level);
    if (level != 0 || desc == nullptr) {
        return call.refuse(D3DERR_INVALIDCALL, level != 0 ? "one level" : "nowhere to write");
    }
    *desc = D3DSURFACE_DESC{D3DFMT_A8R8G8B8, D3DRTYPE_SURFACE, 0, pool_, D3DMULTISAMPLE_NONE, 0, width_, height_};
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface)
{
    trace::Call call("GetSurfaceLevel", name(), level);
    if (level != 0 || surface == nullptr) {
        return call.refuse(D3DERR_INVALIDCALL, level != 0 ? "one level" : "nowhere to write");
    }
    if (device() == nullptr) {
        return call.refuse(D3DERR_INVALIDCALL, "its device is gone");
    }
    *surface = new Surface(*device(), *this);
    return call.result(D3D_OK);
}

HRESULT STDMETHODCALLTYPE Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    trace::Call call("LockRect", name(), level, trace::Hex{flags});
    return level == 0 ? lock(call, locked, rect) : call.refuse(D3DERR_INVALIDCALL, "one level");
}

HRESULT STDMETHODCALLTYPE Texture::UnlockRect(UINT level)
{
    trace::Call call("UnlockRect", name(), level);
    return level == 0 ? unlock(call) : call.refuse(D3DERR_INVALIDCALL, "one level");
}

HRESULT Texture::lock(trace::Call& call, D3DLOCKED_RECT* locked, const RECT* rect)
{
    if (locked == nullptr || locked_) {
        return call.refuse(D3DERR_INVALIDCALL, locked_ ? "already locked" : "nowhere to write");
    }
    std::size_t first = 0;
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->right > static_cast<LONG>(width_) ||
            rect->bottom > static_cast<LONG>(height_) || rect->left >= rect->right || rect->top >= rect->bottom) {
            return call.refuse(D3DERR_INVALIDCALL, "an empty rectangle, or one outside the texture");
        }
        first = static_cast<std::size_t>(rect->top) * pitch_ + static_cast<std::size_t>(rect->left);
    }
    beforeChange();
    locked_ = true;
    locked->Pitch = static_cast<INT>(pitch_ * 4);
    locked->pBits = texels_.data() + first;
    return call.result(D3D_OK);
}

HRESULT Texture::unlock(trace::Call& call)
{
    if (!locked_) {
        return call.refuse(D3DERR_INVALIDCALL, "not locked");
    }
    locked_ = false;
    if (Backend* b = backend()) {
        b->updateTexture(*this);
    }
    return call.result(D3D_OK);
}

void Texture::copyPixelsFrom(const Texture& source)
{
    PLATFORM_ASSERT(source.width_ == width_ && source.height_ == height_);
    beforeChange();
    for (UINT y = 0; y < height_; ++y) {
        std::memcpy(texels_.data() + static_cast<std::size_t>(y) * pitch_,
                    source.texels_.data() + static_cast<std::size_t>(y) * source.pitch_, width_ * 4u);
    }
    if (Backend* b = backend()) {
        b->updateTexture(*this);
    }
}

std::uint64_t TextureContents::contentHash() const
{
    std::uint64_t hash = trace::fnv1a(nullptr, 0);
    for (UINT y = 0; y < height_; ++y) {
        hash = trace::fnv1a(texels_.data() + static_cast<std::size_t>(y) * pitch_, width_ * 4u, hash);
    }
    return hash;
}

Surface::Surface(Device& device, Texture& texture)
    : Object("surf:" + texture.name()), ResourceBase(device, D3DRTYPE_SURFACE), texture_(texture)
{
    texture_.addOwnReference(); // a surface keeps its texture alive
}

HRESULT STDMETHODCALLTYPE Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    trace::Call call("LockRect", name(), trace::Hex{flags});
    return texture_.lock(call, locked, rect);
}

HRESULT STDMETHODCALLTYPE Surface::UnlockRect()
{
    trace::Call call("UnlockRect", name());
    return texture_.unlock(call);
}

HRESULT STDMETHODCALLTYPE VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count)
{
    trace::Call call("GetDeclaration", name());
    if (count == nullptr) {
        return call.refuse(D3DERR_INVALIDCALL, "nowhere to write the count");
    }
    *count = static_cast<UINT>(elements_.size());
    if (elements != nullptr) {
        std::memcpy(elements, elements_.data(), elements_.size() * sizeof(D3DVERTEXELEMENT9));
    }
    return call.result(D3D_OK);
}

ProgramContents::ProgramContents(std::vector<std::uint32_t> tokens, shader::ProgramAnalysis analysis)
    : tokens_(std::move(tokens)), analysis_(std::make_shared<const shader::ProgramAnalysis>(std::move(analysis)))
{
    if (analysis_->type == shader::ShaderType::Vertex) {
        positionSlice_ = std::make_unique<const shader::CompiledProgram>(analysis_->positionSlice, analysis_->type);
        if (analysis_->positionErrorBounded) {
            auto magnitude =
                std::make_unique<const shader::CompiledProgram>(analysis_->positionMagnitude, analysis_->type);
            if (magnitude->compiled() && positionSlice_->compiled() && magnitude->sameFileAs(*positionSlice_)) {
                positionMagnitude_ = std::move(magnitude);
            }
        }
    }
}

ProgramContents::~ProgramContents() = default;

HRESULT Shader::getFunction(void* data, UINT* size) const
{
    if (size == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *size = static_cast<UINT>(tokens_.size() * 4);
    if (data != nullptr) {
        std::memcpy(data, tokens_.data(), tokens_.size() * 4);
    }
    return D3D_OK;
}

} // namespace d3d9
