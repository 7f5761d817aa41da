#include "support/recording_device.hpp"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "com/ref_counted.hpp"
#include "shader/bytecode.hpp"
#include "win32/api_trace.hpp"
#include "win32/window_system.hpp"

namespace recording {
namespace {

DeviceOptions currentOptions;
std::int32_t liveObjects = 0;

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string floats(const float* values, std::size_t count)
{
    std::string out = "[";
    for (std::size_t i = 0; i < count; ++i) {
        out += (i == 0 ? "" : ", ") + number(values[i]);
    }
    return out + "]";
}

void log(const std::string& line)
{
    win32::trace(line);
}

// The platform's IUnknown with a name for the log, a log line for every
// Release, and the live-object count.
template <typename Interface>
class Recorded : public com::RefCounted<Interface> {
public:
    explicit Recorded(std::string name) : name_(std::move(name)) { ++liveObjects; }
    const std::string& name() const { return name_; }

protected:
    ~Recorded() override { --liveObjects; }
    void released(ULONG left) override { log("Release(" + name_ + ") = " + std::to_string(left)); }

private:
    std::string name_;
};

template <typename Base>
class RecordedResource : public Recorded<Base> {
public:
    RecordedResource(std::string name, D3DRESOURCETYPE type) : Recorded<Base>(std::move(name)), type_(type) {}
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override
    {
        if (device != nullptr) {
            *device = nullptr;
        }
        return D3DERR_INVALIDCALL; // not needed by the program
    }
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return type_; }

private:
    D3DRESOURCETYPE type_;
};

// Vertex and index buffers: plain memory of the created length.
template <typename Base>
class RecordedBuffer final : public RecordedResource<Base> {
public:
    RecordedBuffer(std::string name, D3DRESOURCETYPE type, UINT length)
        : RecordedResource<Base>(std::move(name), type), bytes_(length)
    {
    }
    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override
    {
        log("Lock(" + this->name() + ", " + std::to_string(offset) + ", " + std::to_string(size) + ", " +
            win32::hex(flags) + ")");
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
        log("Unlock(" + this->name() + ")");
        if (!locked_) {
            return D3DERR_INVALIDCALL;
        }
        locked_ = false;
        return D3D_OK;
    }

private:
    std::vector<std::uint8_t> bytes_;
    bool locked_ = false;
};

using RecordedVertexBuffer = RecordedBuffer<IDirect3DVertexBuffer9>;
using RecordedIndexBuffer = RecordedBuffer<IDirect3DIndexBuffer9>;

class RecordedTexture;

// Level 0 of a texture: its memory belongs to the texture.
class RecordedSurface final : public RecordedResource<IDirect3DSurface9> {
public:
    RecordedSurface(std::string name, RecordedTexture& texture);
    ~RecordedSurface() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;

private:
    RecordedTexture& texture_;
};

class RecordedTexture final : public RecordedResource<IDirect3DTexture9> {
public:
    RecordedTexture(std::string name, UINT width, UINT height, D3DPOOL pool, INT pitch)
        : RecordedResource(std::move(name), D3DRTYPE_TEXTURE), width_(width), height_(height), pool_(pool),
          pitch_(pitch), bytes_(static_cast<std::size_t>(pitch) * height)
    {
    }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override
    {
        if (level != 0 || desc == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *desc = D3DSURFACE_DESC{D3DFMT_A8R8G8B8, D3DRTYPE_SURFACE, 0, pool_, D3DMULTISAMPLE_NONE, 0, width_, height_};
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override
    {
        log("GetSurfaceLevel(" + name() + ", " + std::to_string(level) + ")");
        if (level != 0 || surface == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *surface = new RecordedSurface("surf:" + name(), *this);
        AddRef(); // a surface keeps its texture alive, as in Direct3D
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT*, DWORD flags) override
    {
        log("LockRect(" + name() + ", " + std::to_string(level) + ", " + win32::hex(flags) + ")");
        return level == 0 ? lock(locked) : D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override
    {
        log("UnlockRect(" + name() + ", " + std::to_string(level) + ")");
        return level == 0 ? unlock() : D3DERR_INVALIDCALL;
    }

    HRESULT lock(D3DLOCKED_RECT* locked)
    {
        if (locked == nullptr || locked_) {
            return D3DERR_INVALIDCALL;
        }
        locked_ = true;
        locked->Pitch = pitch_;
        locked->pBits = bytes_.data();
        return D3D_OK;
    }
    HRESULT unlock()
    {
        if (!locked_) {
            return D3DERR_INVALIDCALL;
        }
        locked_ = false;
        return D3D_OK;
    }
    // The pixels row after row, without the padding at the end of each row.
    std::uint64_t contentHash() const
    {
        std::uint64_t hash = fnv1a(nullptr, 0);
        for (UINT y = 0; y < height_; ++y) {
            hash = fnv1a(bytes_.data() + static_cast<std::size_t>(y) * pitch_, width_ * 4u, hash);
        }
        return hash;
    }
    bool sameShape(const RecordedTexture& other) const
    {
        return width_ == other.width_ && height_ == other.height_;
    }
    void copyFrom(const RecordedTexture& other)
    {
        for (UINT y = 0; y < height_; ++y) {
            std::memcpy(bytes_.data() + static_cast<std::size_t>(y) * pitch_,
                        other.bytes_.data() + static_cast<std::size_t>(y) * other.pitch_, width_ * 4u);
        }
    }
    D3DPOOL pool() const { return pool_; }
    UINT width() const { return width_; }
    UINT height() const { return height_; }

private:
    UINT width_;
    UINT height_;
    D3DPOOL pool_;
    INT pitch_;
    std::vector<std::uint8_t> bytes_;
    bool locked_ = false;
};

RecordedSurface::RecordedSurface(std::string name, RecordedTexture& texture)
    : RecordedResource(std::move(name), D3DRTYPE_SURFACE), texture_(texture)
{
}

RecordedSurface::~RecordedSurface()
{
    texture_.Release();
}

HRESULT STDMETHODCALLTYPE RecordedSurface::GetDesc(D3DSURFACE_DESC* desc)
{
    return texture_.GetLevelDesc(0, desc);
}

HRESULT STDMETHODCALLTYPE RecordedSurface::LockRect(D3DLOCKED_RECT* locked, const RECT*, DWORD flags)
{
    log("LockRect(" + name() + ", " + win32::hex(flags) + ")");
    return texture_.lock(locked);
}

HRESULT STDMETHODCALLTYPE RecordedSurface::UnlockRect()
{
    log("UnlockRect(" + name() + ")");
    return texture_.unlock();
}

class RecordedDeclaration final : public Recorded<IDirect3DVertexDeclaration9> {
public:
    RecordedDeclaration(std::string name, std::vector<D3DVERTEXELEMENT9> elements)
        : Recorded(std::move(name)), elements_(std::move(elements))
    {
    }
    HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override
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

private:
    std::vector<D3DVERTEXELEMENT9> elements_;
};

template <typename Interface>
class RecordedShader final : public Recorded<Interface> {
public:
    RecordedShader(std::string name, std::vector<std::uint32_t> tokens)
        : Recorded<Interface>(std::move(name)), tokens_(std::move(tokens))
    {
    }
    HRESULT STDMETHODCALLTYPE GetFunction(void* data, UINT* size) override
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

private:
    std::vector<std::uint32_t> tokens_;
};

// The program's parts of a device. Draws nothing; checks what a real device
// would refuse (bad lengths, bad bytecode, locks of locked resources).
class RecordedDevice final : public Recorded<IDirect3DDevice9> {
public:
    RecordedDevice() : Recorded("device") {}

    HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT*, DWORD flags, D3DCOLOR color, float z,
                                    DWORD stencil) override
    {
        log("Clear(" + std::to_string(count) + ", " + win32::hex(flags) + ", " + win32::hex(color) + ", " +
            number(z) + ", " + std::to_string(stencil) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE BeginScene() override
    {
        log("BeginScene()");
        return inScene_ ? D3DERR_INVALIDCALL : (inScene_ = true, D3D_OK);
    }
    HRESULT STDMETHODCALLTYPE EndScene() override
    {
        log("EndScene()");
        return !inScene_ ? D3DERR_INVALIDCALL : (inScene_ = false, D3D_OK);
    }
    HRESULT STDMETHODCALLTYPE Present(const RECT*, const RECT*, HWND, const RGNDATA*) override
    {
        log("Present()");
        if (currentOptions.onPresent) {
            currentOptions.onPresent();
        }
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* v) override
    {
        if (v == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        log("SetViewport(" + std::to_string(v->X) + ", " + std::to_string(v->Y) + ", " + std::to_string(v->Width) +
            ", " + std::to_string(v->Height) + ", " + number(v->MinZ) + ", " + number(v->MaxZ) + ")");
        viewport_ = *v;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* v) override
    {
        if (v == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *v = viewport_;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override
    {
        log("SetRenderState(" + std::to_string(state) + ", " + std::to_string(value) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE, DWORD* value) override
    {
        return value == nullptr ? D3DERR_INVALIDCALL : (*value = 0, D3D_OK);
    }
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL show) override
    {
        log("ShowCursor(" + std::to_string(show) + ")");
        const BOOL previous = cursorShown_;
        cursorShown_ = show;
        return previous;
    }
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT, UINT, DWORD, IDirect3DSurface9** surface) override
    {
        if (surface != nullptr) {
            *surface = nullptr;
        }
        return D3DERR_INVALIDCALL; // the recording device has no pixels
    }

    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                      IDirect3DVertexDeclaration9** declaration) override
    {
        if (elements == nullptr || declaration == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        std::vector<D3DVERTEXELEMENT9> copy;
        std::string text;
        for (std::size_t i = 0; i < 65; ++i) {
            copy.push_back(elements[i]);
            const D3DVERTEXELEMENT9& e = elements[i];
            text += (i == 0 ? "" : "; ") + std::to_string(e.Stream) + " " + std::to_string(e.Offset) + " " +
                    std::to_string(e.Type) + " " + std::to_string(e.Method) + " " + std::to_string(e.Usage) + " " +
                    std::to_string(e.UsageIndex);
            if (e.Stream == 0xFF) {
                auto* made = new RecordedDeclaration("decl" + std::to_string(++declarations_), std::move(copy));
                log("CreateVertexDeclaration([" + text + "]) = " + made->name());
                *declaration = made;
                return D3D_OK;
            }
        }
        return D3DERR_INVALIDCALL; // no end marker
    }
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override
    {
        return createShader<IDirect3DVertexShader9>("CreateVertexShader", "vs", shader::VertexVersionPrefix,
                                                    function, shader, vertexShaders_);
    }
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override
    {
        return createShader<IDirect3DPixelShader9>("CreatePixelShader", "ps", shader::PixelVersionPrefix, function,
                                                   shader, pixelShaders_);
    }
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                                 IDirect3DVertexBuffer9** buffer, HANDLE* shared) override
    {
        const std::string call = "CreateVertexBuffer(" + std::to_string(length) + ", " + win32::hex(usage) + ", " +
                                 win32::hex(fvf) + ", " + std::to_string(pool) + ")";
        if (length == 0 || buffer == nullptr || shared != nullptr) {
            log(call + " = INVALIDCALL");
            return D3DERR_INVALIDCALL;
        }
        auto* made = new RecordedVertexBuffer("vb" + std::to_string(++vertexBuffers_), D3DRTYPE_VERTEXBUFFER, length);
        log(call + " = " + made->name());
        *buffer = made;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DIndexBuffer9** buffer, HANDLE* shared) override
    {
        const std::string call = "CreateIndexBuffer(" + std::to_string(length) + ", " + win32::hex(usage) + ", " +
                                 std::to_string(format) + ", " + std::to_string(pool) + ")";
        if (length == 0 || buffer == nullptr || shared != nullptr ||
            (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) {
            log(call + " = INVALIDCALL");
            return D3DERR_INVALIDCALL;
        }
        auto* made = new RecordedIndexBuffer("ib" + std::to_string(++indexBuffers_), D3DRTYPE_INDEXBUFFER, length);
        log(call + " = " + made->name());
        *buffer = made;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override
    {
        const std::string call = "CreateTexture(" + std::to_string(width) + ", " + std::to_string(height) + ", " +
                                 std::to_string(levels) + ", " + win32::hex(usage) + ", " + std::to_string(format) +
                                 ", " + std::to_string(pool) + ")";
        // Only what the program asks for: one-level A8R8G8B8 textures.
        if (texture == nullptr || shared != nullptr || width == 0 || height == 0 || width > 4096 || height > 4096 ||
            levels != 1 || format != D3DFMT_A8R8G8B8) {
            log(call + " = INVALIDCALL");
            return D3DERR_INVALIDCALL;
        }
        const INT pitch = width == 128 ? currentOptions.texturePitch : static_cast<INT>(width * 4);
        auto* made = new RecordedTexture("tex" + std::to_string(++textures_), width, height, pool, pitch);
        log(call + " = " + made->name());
        *texture = made;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override
    {
        auto* from = dynamic_cast<RecordedTexture*>(source);
        auto* to = dynamic_cast<RecordedTexture*>(destination);
        if (from == nullptr || to == nullptr || from->pool() != D3DPOOL_SYSTEMMEM || to->pool() != D3DPOOL_DEFAULT ||
            !from->sameShape(*to)) {
            log("UpdateTexture(invalid) = INVALIDCALL");
            return D3DERR_INVALIDCALL;
        }
        to->copyFrom(*from);
        char hash[24];
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(to->contentHash()));
        log("UpdateTexture(" + from->name() + ", " + to->name() + ") pixels " + hash);
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override
    {
        log("SetFVF(" + win32::hex(fvf) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override
    {
        if (matrix == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        log("SetTransform(" + std::to_string(state) + ", " + floats(&matrix->m[0][0], 16) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset,
                                              UINT stride) override
    {
        log("SetStreamSource(" + std::to_string(stream) + ", " + nameOfObject(data) + ", " + std::to_string(offset) +
            ", " + std::to_string(stride) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* data) override
    {
        log("SetIndices(" + nameOfObject(data) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override
    {
        log("SetVertexDeclaration(" + nameOfObject(declaration) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* shader) override
    {
        log("SetVertexShader(" + nameOfObject(shader) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* shader) override
    {
        log("SetPixelShader(" + nameOfObject(shader) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override
    {
        log("SetTexture(" + std::to_string(stage) + ", " + nameOfObject(texture) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override
    {
        log("SetTextureStageState(" + std::to_string(stage) + ", " + std::to_string(type) + ", " +
            std::to_string(value) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override
    {
        log("SetSamplerState(" + std::to_string(sampler) + ", " + std::to_string(type) + ", " + std::to_string(value) +
            ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT start, const float* data, UINT count) override
    {
        if (data == nullptr || start + count > 256) {
            return D3DERR_INVALIDCALL;
        }
        log("SetVertexShaderConstantF(" + std::to_string(start) + ", " + floats(data, count * 4) + ", " +
            std::to_string(count) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT start, const float* data, UINT count) override
    {
        if (data == nullptr || start + count > 32) {
            return D3DERR_INVALIDCALL;
        }
        log("SetPixelShaderConstantF(" + std::to_string(start) + ", " + floats(data, count * 4) + ", " +
            std::to_string(count) + ")");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex, UINT vertices,
                                                   UINT start, UINT primitives) override
    {
        log("DrawIndexedPrimitive(" + std::to_string(type) + ", " + std::to_string(base) + ", " +
            std::to_string(minIndex) + ", " + std::to_string(vertices) + ", " + std::to_string(start) + ", " +
            std::to_string(primitives) + ")");
        return inScene_ ? D3D_OK : D3DERR_INVALIDCALL;
    }

private:
    template <typename Interface>
    HRESULT createShader(const char* call, const char* prefix, std::uint32_t versionPrefix, const DWORD* function,
                         Interface** shader, int& counter)
    {
        if (function == nullptr || shader == nullptr || (function[0] & 0xFFFF0000u) != versionPrefix) {
            log(std::string(call) + "(invalid) = INVALIDCALL");
            return D3DERR_INVALIDCALL;
        }
        const std::size_t length = shader::measureProgram(function, 16384);
        if (length == 0) {
            log(std::string(call) + "(unterminated) = INVALIDCALL");
            return D3DERR_INVALIDCALL;
        }
        std::vector<std::uint32_t> tokens(function, function + length);
        char hash[24];
        std::snprintf(hash, sizeof hash, "%016llx",
                      static_cast<unsigned long long>(fnv1a(tokens.data(), tokens.size() * 4)));
        auto* made = new RecordedShader<Interface>(prefix + std::to_string(++counter), std::move(tokens));
        log(std::string(call) + "(" + std::to_string(length * 4) + " bytes " + hash + ") = " + made->name());
        *shader = made;
        return D3D_OK;
    }

    template <typename Interface>
    static std::string nameOfObject(Interface* object)
    {
        if (object == nullptr) {
            return "NULL";
        }
        if (auto* recorded = dynamic_cast<Recorded<Interface>*>(object)) {
            return recorded->name();
        }
        if (auto* texture = dynamic_cast<RecordedTexture*>(object)) {
            return texture->name();
        }
        return "foreign";
    }

    D3DVIEWPORT9 viewport_ = {0, 0, 1024, 768, 0.0f, 1.0f};
    bool inScene_ = false;
    BOOL cursorShown_ = TRUE;
    int declarations_ = 0;
    int vertexShaders_ = 0;
    int pixelShaders_ = 0;
    int vertexBuffers_ = 0;
    int indexBuffers_ = 0;
    int textures_ = 0;
};

class RecordedDirect3D final : public Recorded<IDirect3D9> {
public:
    RecordedDirect3D() : Recorded("d3d") {}

    UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL windowed,
                                                         D3DMULTISAMPLE_TYPE samples, DWORD* quality) override
    {
        const bool supported = !currentOptions.refuseMultisample && adapter == 0 &&
                               (samples == D3DMULTISAMPLE_2_SAMPLES || samples == D3DMULTISAMPLE_4_SAMPLES ||
                                samples == D3DMULTISAMPLE_NONE);
        log("CheckDeviceMultiSampleType(" + std::to_string(adapter) + ", " + std::to_string(type) + ", " +
            std::to_string(format) + ", " + std::to_string(windowed) + ", " + std::to_string(samples) + ") = " +
            (supported ? "OK" : "NOTAVAILABLE"));
        if (quality != nullptr) {
            *quality = supported ? 1 : 0;
        }
        return supported ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior,
                                           D3DPRESENT_PARAMETERS* p, IDirect3DDevice9** device) override
    {
        if (p == nullptr || device == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        log("CreateDevice(" + std::to_string(adapter) + ", " + std::to_string(type) + ", " +
            win32::describeWindow(focus) + ", " + win32::hex(behavior) + ", {" + std::to_string(p->BackBufferWidth) +
            "x" + std::to_string(p->BackBufferHeight) + " format " + std::to_string(p->BackBufferFormat) + " count " +
            std::to_string(p->BackBufferCount) + " multisample " + std::to_string(p->MultiSampleType) + " quality " +
            std::to_string(p->MultiSampleQuality) + " swap " + std::to_string(p->SwapEffect) + " window " +
            win32::describeWindow(p->hDeviceWindow) + " windowed " + std::to_string(p->Windowed) + " depth " +
            std::to_string(p->EnableAutoDepthStencil) + " format " + std::to_string(p->AutoDepthStencilFormat) +
            " flags " + std::to_string(p->Flags) + " refresh " + std::to_string(p->FullScreen_RefreshRateInHz) +
            " interval " + std::to_string(p->PresentationInterval) + "})");
        if (currentOptions.refuseDevice) {
            return D3DERR_NOTAVAILABLE;
        }
        if (!p->Windowed) {
            // A full-screen device shows its window and covers the screen with it.
            const HWND window = p->hDeviceWindow != nullptr ? p->hDeviceWindow : focus;
            SetWindowPos(window, nullptr, 0, 0, static_cast<int>(p->BackBufferWidth),
                         static_cast<int>(p->BackBufferHeight), SWP_SHOWWINDOW);
        }
        *device = new RecordedDevice();
        return D3D_OK;
    }
};

} // namespace

void configure(DeviceOptions options)
{
    currentOptions = std::move(options);
}

IDirect3D9* WINAPI createDirect3D(UINT sdkVersion)
{
    log("Direct3DCreate9(" + std::to_string(sdkVersion) + ")");
    if (currentOptions.failDirect3DCreate || sdkVersion != D3D_SDK_VERSION) {
        return nullptr;
    }
    return new RecordedDirect3D();
}

std::int32_t liveObjectCount()
{
    return liveObjects;
}

std::uint64_t fnv1a(const void* data, std::size_t size, std::uint64_t hash)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    }
    return hash;
}

} // namespace recording
