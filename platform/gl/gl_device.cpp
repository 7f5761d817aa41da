// The OpenGL runtime's IDirect3D9 and IDirect3DDevice9.
//
// Direct3D 9 conventions mapped onto OpenGL: the picture is drawn the right
// way up in GL's bottom-up framebuffer (viewport and scissor rows counted
// from the bottom), so the clip-space y needs no flip and the winding seen
// on screen is the same; D3DCULL_CW removes visually clockwise triangles,
// which is glFrontFace(GL_CCW) with back faces culled. Positions move by
// (+1/2, -1/2) pixel so that GL's pixel centres (i + 0.5) sample where
// Direct3D 9's (integer i) do; depth is 0..w through glClipControl, or
// remapped in the vertex program where clip control is missing.
// Failures are sorted as in the software device.
#include "gl/gl_device.hpp"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "gl/gl_api.hpp"
#include "gl/gl_resources.hpp"
#include "gl/glsl_translator.hpp"
#include "raster/input_fetch.hpp"
#include "shader/bytecode.hpp"

namespace gl {
namespace {

GlOptions configured;

constexpr std::int32_t VertexConstantRegisters = 256;
constexpr std::int32_t PixelConstantRegisters = 32;
constexpr std::int32_t SamplerCount = 16;

void reportToStderr(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
}

bool hasClipControl()
{
    GLint major = 0, minor = 0, count = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major > 4 || (major == 4 && minor >= 5)) {
        return true;
    }
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (name != nullptr && std::strcmp(name, "GL_ARB_clip_control") == 0) {
            return true;
        }
    }
    return false;
}

GLint maxSamples()
{
    GLint samples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &samples);
    return samples;
}

// A held reference on a bound object, with the runtime's own object behind it.
template <typename Interface, typename Concrete>
class Bound {
public:
    Bound() = default;
    Bound(const Bound&) = delete;
    Bound& operator=(const Bound&) = delete;
    ~Bound() { reset(nullptr); }
    void reset(Interface* object)
    {
        if (object != nullptr) {
            object->AddRef();
        }
        if (object_ != nullptr) {
            object_->Release();
        }
        object_ = object;
        concrete_ = dynamic_cast<Concrete*>(object);
    }
    Concrete* concrete() const { return concrete_; }

private:
    Interface* object_ = nullptr;
    Concrete* concrete_ = nullptr;
};

// The info log of a shader or program, one report line per log line, each
// with the GLSL line it names where the log gives one ("0:LINE(COL)").
void reportLog(const std::string& what, const std::string& log, const std::string& source,
               const std::function<void(const std::string&)>& report)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= source.size()) {
        const std::size_t end = source.find('\n', start);
        lines.push_back(source.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    std::size_t at = 0;
    while (at < log.size()) {
        std::size_t end = log.find('\n', at);
        if (end == std::string::npos) {
            end = log.size();
        }
        const std::string entry = log.substr(at, end - at);
        at = end + 1;
        if (entry.empty()) {
            continue;
        }
        std::string line = "gl device: " + what + ": " + entry;
        unsigned file = 0, number = 0;
        if (std::sscanf(entry.c_str(), "%u:%u", &file, &number) == 2 && number >= 1 && number <= lines.size()) {
            line += " [GLSL line " + std::to_string(number) + ": " + lines[number - 1] + "]";
        }
        report(line);
    }
}

class GlDevice final : public com::RefCounted<IDirect3DDevice9> {
public:
    GlDevice(const D3DPRESENT_PARAMETERS& parameters, GlOptions options, bool clipControl, GLint samples)
        : options_(std::move(options)), clipControl_(clipControl)
    {
        if (!options_.onError) {
            options_.onError = reportToStderr;
        }
        width_ = parameters.BackBufferWidth != 0 ? static_cast<std::int32_t>(parameters.BackBufferWidth) : 1024;
        height_ = parameters.BackBufferHeight != 0 ? static_cast<std::int32_t>(parameters.BackBufferHeight) : 768;
        makeFramebuffers(samples);
        glGenVertexArrays(1, &vertexArray_);
        viewport_ = {0, 0, static_cast<DWORD>(width_), static_cast<DWORD>(height_), 0.0f, 1.0f};
        setDefaultStates();
        if (clipControl_) {
            glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
        }
        // A new back buffer shows opaque black, its depth buffer the far plane.
        glBindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer_);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDepthMask(GL_TRUE);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (resolveFramebuffer_ != drawFramebuffer_) {
            glBindFramebuffer(GL_FRAMEBUFFER, resolveFramebuffer_);
            glClear(GL_COLOR_BUFFER_BIT);
        }
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
        const D3DRECT whole = {static_cast<LONG>(viewport_.X), static_cast<LONG>(viewport_.Y),
                               static_cast<LONG>(viewport_.X + viewport_.Width),
                               static_cast<LONG>(viewport_.Y + viewport_.Height)};
        glBindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer_);
        glEnable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDepthMask(GL_TRUE);
        glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f, static_cast<float>((color >> 8) & 0xFF) / 255.0f,
                     static_cast<float>(color & 0xFF) / 255.0f, static_cast<float>(color >> 24) / 255.0f);
        glClearDepth(static_cast<double>(z));
        const GLbitfield mask = ((flags & D3DCLEAR_TARGET) != 0 ? GL_COLOR_BUFFER_BIT : 0u) |
                                ((flags & D3DCLEAR_ZBUFFER) != 0 ? GL_DEPTH_BUFFER_BIT : 0u);
        for (DWORD i = 0; i < std::max<DWORD>(count, 1); ++i) {
            const D3DRECT r = count == 0 ? whole : intersect(rects[i], whole);
            if (r.x2 > r.x1 && r.y2 > r.y1 && mask != 0) {
                glScissor(r.x1, height_ - r.y2, r.x2 - r.x1, r.y2 - r.y1); // rows from the bottom
                glClear(mask);
            }
        }
        frameRendered_ = true;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE BeginScene() override
    {
        if (inScene_) {
            return D3DERR_INVALIDCALL;
        }
        inScene_ = true;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE EndScene() override
    {
        if (!inScene_) {
            return D3DERR_INVALIDCALL;
        }
        inScene_ = false;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Present(const RECT*, const RECT*, HWND, const RGNDATA*) override
    {
        const bool rendered = frameDecided_ && frameWanted_ && frameRendered_;
        if (rendered && resolveFramebuffer_ != drawFramebuffer_) {
            glDisable(GL_SCISSOR_TEST);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, drawFramebuffer_);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFramebuffer_);
            glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        }
        if (options_.onPresent) {
            options_.onPresent(GlFrame{resolveFramebuffer_, width_, height_, rendered});
        }
        frameDecided_ = false;
        frameRendered_ = false;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* v) override
    {
        if (v == nullptr || v->Width == 0 || v->Height == 0 || static_cast<std::int64_t>(v->X) + v->Width > width_ ||
            static_cast<std::int64_t>(v->Y) + v->Height > height_ || !(v->MinZ >= 0.0f) || !(v->MaxZ <= 1.0f) ||
            v->MinZ > v->MaxZ) {
            return D3DERR_INVALIDCALL;
        }
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
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE s, DWORD value) override
    {
        if (static_cast<std::uint32_t>(s) >= 256) {
            return D3DERR_INVALIDCALL;
        }
        renderStates_[s] = value;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE s, DWORD* value) override
    {
        if (value == nullptr || static_cast<std::uint32_t>(s) >= 256) {
            return D3DERR_INVALIDCALL;
        }
        *value = renderStates_[s];
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
            if (!raster::supportedElementType(elements[i].Type)) {
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
        auto* from = dynamic_cast<Texture*>(source);
        auto* to = dynamic_cast<Texture*>(destination);
        if (from == nullptr || to == nullptr || from->pool() != D3DPOOL_SYSTEMMEM || to->pool() != D3DPOOL_DEFAULT ||
            from->width() != to->width() || from->height() != to->height()) {
            return D3DERR_INVALIDCALL;
        }
        to->copyFrom(*from);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override
    {
        fvf_ = fvf;
        layoutFromFvf_ = true;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX* matrix) override
    {
        return matrix == nullptr ? D3DERR_INVALIDCALL : D3D_OK; // no effect with a vertex program bound
    }
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset,
                                              UINT stride) override
    {
        if (stream != 0) {
            return stream < 16 ? D3DERR_NOTAVAILABLE : D3DERR_INVALIDCALL; // one stream
        }
        stream_.reset(data);
        streamOffset_ = offset;
        streamStride_ = stride;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* data) override
    {
        indices_.reset(data);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override
    {
        declaration_.reset(declaration);
        layoutFromFvf_ = false;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* shader) override
    {
        vertexShader_.reset(shader);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* shader) override
    {
        pixelShader_.reset(shader);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override
    {
        if (stage >= static_cast<DWORD>(SamplerCount)) {
            return D3DERR_INVALIDCALL;
        }
        textures_[stage].reset(texture);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD) override
    {
        return stage >= 8 || static_cast<std::uint32_t>(type) >= 33 ? D3DERR_INVALIDCALL : D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD) override
    {
        // Point filtering and wrapping are what is drawn.
        return sampler >= static_cast<DWORD>(SamplerCount) || static_cast<std::uint32_t>(type) >= 14
                   ? D3DERR_INVALIDCALL
                   : D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT start, const float* data, UINT count) override
    {
        return setConstants(vertexConstants_, VertexConstantRegisters, start, data, count);
    }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT start, const float* data, UINT count) override
    {
        return setConstants(pixelConstants_, PixelConstantRegisters, start, data, count);
    }
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex, UINT vertices,
                                                   UINT startIndex, UINT primitives) override;

private:
    struct LinkedProgram {
        GLuint name = 0; // 0: linking failed (reported once)
        GLint vertexConstants = -1;
        GLint pixelConstants = -1;
        GLint pixelShift = -1;
        std::uint64_t vertexGeneration = ~0ull; // constants last uploaded
        std::uint64_t pixelGeneration = ~0ull;
    };

    ~GlDevice() override
    {
        for (auto& entry : programs_) {
            if (entry.second.name != 0) {
                glDeleteProgram(entry.second.name);
            }
        }
        glDeleteVertexArrays(1, &vertexArray_);
        GLuint framebuffers[2] = {drawFramebuffer_, resolveFramebuffer_};
        glDeleteFramebuffers(resolveFramebuffer_ != drawFramebuffer_ ? 2 : 1, framebuffers);
        glDeleteRenderbuffers(3, renderbuffers_);
    }

    void makeFramebuffers(GLint samples);
    void setDefaultStates();
    bool frameWanted()
    {
        if (!frameDecided_) {
            frameWanted_ = !options_.wantsPixels || options_.wantsPixels();
            frameDecided_ = true;
        }
        return frameWanted_;
    }
    static D3DRECT intersect(const D3DRECT& a, const D3DRECT& b)
    {
        D3DRECT r = {std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
        r.x2 = std::max(r.x1, r.x2);
        r.y2 = std::max(r.y1, r.y2);
        return r;
    }
    HRESULT setConstants(std::vector<float>& constants, std::int32_t registers, UINT start, const float* data,
                         UINT count)
    {
        if (data == nullptr || start > static_cast<UINT>(registers) || count > static_cast<UINT>(registers) - start) {
            return D3DERR_INVALIDCALL;
        }
        std::memcpy(constants.data() + 4 * start, data, sizeof(float) * 4 * count);
        ++generation_;
        return D3D_OK;
    }
    template <typename Concrete, typename Interface>
    HRESULT createShader(const DWORD* function, shader::ShaderType type, Interface** out);
    LinkedProgram* programFor(const VertexShader& vs, const PixelShader9& ps);
    void applyStates();
    void applyLayout(const VertexShader& vs, const VertexBuffer& stream);

    GlOptions options_;
    bool clipControl_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    GLuint drawFramebuffer_ = 0;
    GLuint resolveFramebuffer_ = 0;
    GLuint renderbuffers_[3] = {}; // colour, depth, resolved colour
    GLuint vertexArray_ = 0;
    D3DVIEWPORT9 viewport_ = {};
    DWORD renderStates_[256] = {};
    DWORD fvf_ = 0;
    bool layoutFromFvf_ = false;
    Bound<IDirect3DVertexBuffer9, VertexBuffer> stream_;
    UINT streamOffset_ = 0;
    UINT streamStride_ = 0;
    Bound<IDirect3DIndexBuffer9, IndexBuffer> indices_;
    Bound<IDirect3DVertexDeclaration9, VertexDeclaration> declaration_;
    Bound<IDirect3DVertexShader9, VertexShader> vertexShader_;
    Bound<IDirect3DPixelShader9, PixelShader9> pixelShader_;
    Bound<IDirect3DBaseTexture9, Texture> textures_[SamplerCount];
    std::vector<float> vertexConstants_ = std::vector<float>(4 * VertexConstantRegisters, 0.0f);
    std::vector<float> pixelConstants_ = std::vector<float>(4 * PixelConstantRegisters, 0.0f);
    std::uint64_t generation_ = 0; // counts constant changes
    std::uint64_t shaderSerial_ = 0;
    std::map<std::pair<std::uint64_t, std::uint64_t>, LinkedProgram> programs_;
    bool inScene_ = false;
    bool frameDecided_ = false;
    bool frameWanted_ = true;
    bool frameRendered_ = false;
    BOOL cursorShown_ = TRUE;
};

void GlDevice::makeFramebuffers(GLint samples)
{
    glGenRenderbuffers(3, renderbuffers_);
    glGenFramebuffers(1, &drawFramebuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, width_, height_);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT16, width_, height_);
    glBindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffers_[1]);
    if (samples <= 1) {
        resolveFramebuffer_ = drawFramebuffer_; // nothing to resolve
        return;
    }
    glGenFramebuffers(1, &resolveFramebuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[2]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
    glBindFramebuffer(GL_FRAMEBUFFER, resolveFramebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[2]);
}

void GlDevice::setDefaultStates()
{
    DWORD* rs = renderStates_;
    rs[D3DRS_ZENABLE] = D3DZB_TRUE; // with an automatic depth buffer
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
}

template <typename Concrete, typename Interface>
HRESULT GlDevice::createShader(const DWORD* function, shader::ShaderType type, Interface** out)
{
    if (function == nullptr || out == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const std::size_t length = shader::measureProgram(function, 1 << 16);
    std::vector<std::uint32_t> tokens(function, function + length);
    shader::DecodedProgram decoded;
    GlslProgram glsl;
    std::string error;
    GlslOptions glslOptions;
    glslOptions.remapDepth = !clipControl_;
    if (length == 0 || !shader::decodeProgram(tokens.data(), tokens.size(), decoded, error) || decoded.type != type ||
        !translateProgram(decoded, glslOptions, glsl, error)) {
        return D3DERR_INVALIDCALL;
    }
    GLuint name = glCreateShader(type == shader::ShaderType::Vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    const char* text = glsl.source.c_str();
    glShaderSource(name, 1, &text, nullptr);
    glCompileShader(name);
    GLint compiled = GL_FALSE;
    glGetShaderiv(name, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        GLint logLength = 0;
        glGetShaderiv(name, GL_INFO_LOG_LENGTH, &logLength);
        std::string log(static_cast<std::size_t>(std::max(logLength, 1)), '\0');
        glGetShaderInfoLog(name, logLength, nullptr, log.data());
        reportLog(type == shader::ShaderType::Vertex ? "vertex program" : "pixel program", log.c_str(), glsl.source,
                  options_.onError);
        glDeleteShader(name);
        name = 0; // the object is made; its draws fail
    }
    *out = new Concrete(std::move(tokens), std::move(glsl), name, ++shaderSerial_);
    return D3D_OK;
}

GlDevice::LinkedProgram* GlDevice::programFor(const VertexShader& vs, const PixelShader9& ps)
{
    const auto key = std::make_pair(vs.serial(), ps.serial());
    auto found = programs_.find(key);
    if (found != programs_.end()) {
        return &found->second;
    }
    LinkedProgram& linked = programs_[key];
    if (vs.name() == 0 || ps.name() == 0) {
        return &linked; // compile errors were reported when the programs were made
    }
    const GLuint name = glCreateProgram();
    glAttachShader(name, vs.name());
    glAttachShader(name, ps.name());
    glLinkProgram(name);
    GLint ok = GL_FALSE;
    glGetProgramiv(name, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        GLint logLength = 0;
        glGetProgramiv(name, GL_INFO_LOG_LENGTH, &logLength);
        std::string log(static_cast<std::size_t>(std::max(logLength, 1)), '\0');
        glGetProgramInfoLog(name, logLength, nullptr, log.data());
        reportLog("linking", log.c_str(), "", options_.onError);
        glDeleteProgram(name);
        return &linked;
    }
    glDetachShader(name, vs.name());
    glDetachShader(name, ps.name());
    linked.name = name;
    glUseProgram(name);
    linked.vertexConstants = glGetUniformLocation(name, "vc");
    linked.pixelConstants = glGetUniformLocation(name, "pc");
    linked.pixelShift = glGetUniformLocation(name, "d3d_pixelShift");
    for (std::uint32_t s = 0; s < SamplerCount; ++s) {
        const GLint at = glGetUniformLocation(name, ("s" + std::to_string(s)).c_str());
        if (at >= 0) {
            glUniform1i(at, static_cast<GLint>(s));
        }
    }
    return &linked;
}

// Render states, viewport and band, every draw: the host may have changed
// GL state in onPresent.
void GlDevice::applyStates()
{
    glBindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer_);
    const GLint x = static_cast<GLint>(viewport_.X);
    const GLint y = height_ - static_cast<GLint>(viewport_.Y + viewport_.Height); // rows from the bottom
    glViewport(x, y, static_cast<GLsizei>(viewport_.Width), static_cast<GLsizei>(viewport_.Height));
    glEnable(GL_SCISSOR_TEST); // the viewport's band: the half-pixel shift must not draw outside it
    glScissor(x, y, static_cast<GLsizei>(viewport_.Width), static_cast<GLsizei>(viewport_.Height));
    glDepthRange(static_cast<double>(viewport_.MinZ), static_cast<double>(viewport_.MaxZ));
    const DWORD cull = renderStates_[D3DRS_CULLMODE];
    if (cull == D3DCULL_NONE) {
        glDisable(GL_CULL_FACE);
    } else {
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        // The picture is upright in GL's window, so a visually clockwise
        // triangle is clockwise in both: cull it by calling CCW the front.
        glFrontFace(cull == D3DCULL_CCW ? GL_CW : GL_CCW);
    }
    glPolygonMode(GL_FRONT_AND_BACK, renderStates_[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
    const bool depth = renderStates_[D3DRS_ZENABLE] != D3DZB_FALSE;
    if (depth) {
        glEnable(GL_DEPTH_TEST);
        const DWORD func = renderStates_[D3DRS_ZFUNC];
        glDepthFunc(func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? GL_NEVER + (func - D3DCMP_NEVER) : GL_LEQUAL);
        glDepthMask(renderStates_[D3DRS_ZWRITEENABLE] != 0 ? GL_TRUE : GL_FALSE);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    if (renderStates_[D3DRS_MULTISAMPLEANTIALIAS] != 0) {
        glEnable(GL_MULTISAMPLE);
    } else {
        glDisable(GL_MULTISAMPLE);
    }
    glDisable(GL_BLEND);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

// The declaration's (or FVF's) elements bound to the program's declared
// inputs by usage and index; an input no element feeds reads (0, 0, 0, 1).
void GlDevice::applyLayout(const VertexShader& vs, const VertexBuffer& stream)
{
    const VertexDeclaration* declaration = declaration_.concrete();
    const std::vector<D3DVERTEXELEMENT9> elements = layoutFromFvf_ || declaration == nullptr
                                                        ? raster::elementsFromFvf(fvf_)
                                                        : declaration->elements();
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, stream.name());
    for (GLuint location = 0; location < 16; ++location) {
        glDisableVertexAttribArray(location);
        glVertexAttrib4f(location, 0.0f, 0.0f, 0.0f, 1.0f);
    }
    for (const GlslVertexInput& input : vs.glsl().inputs) {
        for (const D3DVERTEXELEMENT9& e : elements) {
            if (e.Stream == 0xFF) {
                break;
            }
            if (e.Stream != 0 || e.Usage != static_cast<BYTE>(input.usage) || e.UsageIndex != input.usageIndex) {
                continue;
            }
            const auto offset = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(streamOffset_ + e.Offset));
            const auto stride = static_cast<GLsizei>(streamStride_);
            switch (e.Type) {
            case D3DDECLTYPE_FLOAT1: case D3DDECLTYPE_FLOAT2: case D3DDECLTYPE_FLOAT3: case D3DDECLTYPE_FLOAT4:
                glVertexAttribPointer(input.location, 1 + (e.Type - D3DDECLTYPE_FLOAT1), GL_FLOAT, GL_FALSE, stride,
                                      offset);
                break;
            case D3DDECLTYPE_D3DCOLOR: // bytes b, g, r, a: .x red
                glVertexAttribPointer(input.location, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, offset);
                break;
            case D3DDECLTYPE_UBYTE4: case D3DDECLTYPE_UBYTE4N:
                glVertexAttribPointer(input.location, 4, GL_UNSIGNED_BYTE, e.Type == D3DDECLTYPE_UBYTE4N, stride,
                                      offset);
                break;
            default: // SHORT2, SHORT4
                glVertexAttribPointer(input.location, e.Type == D3DDECLTYPE_SHORT2 ? 2 : 4, GL_SHORT, GL_FALSE,
                                      stride, offset);
                break;
            }
            glEnableVertexAttribArray(input.location);
            break;
        }
    }
}

HRESULT STDMETHODCALLTYPE GlDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT, UINT,
                                                        UINT startIndex, UINT primitives)
{
    if (!inScene_) {
        return D3DERR_INVALIDCALL;
    }
    if (type != D3DPT_TRIANGLELIST && type != D3DPT_TRIANGLESTRIP && type != D3DPT_TRIANGLEFAN) {
        return D3DERR_NOTAVAILABLE; // points and lines are not drawn
    }
    const VertexShader* vs = vertexShader_.concrete();
    const PixelShader9* ps = pixelShader_.concrete();
    const VertexBuffer* stream = stream_.concrete();
    const IndexBuffer* indices = indices_.concrete();
    if (vs == nullptr || ps == nullptr || stream == nullptr) {
        return D3DERR_NOTAVAILABLE; // no fixed-function pipeline
    }
    const std::size_t indexBytes = indices != nullptr && indices->format() == D3DFMT_INDEX32 ? 4 : 2;
    const std::size_t needed = type == D3DPT_TRIANGLELIST ? 3u * std::size_t{primitives} : primitives + 2u;
    const std::size_t available = indices != nullptr ? indices->size() / indexBytes : 0;
    if (indices == nullptr || startIndex > available || needed > available - startIndex) {
        return D3DERR_INVALIDCALL;
    }
    if (!frameWanted()) {
        return D3D_OK;
    }
    LinkedProgram* program = programFor(*vs, *ps);
    if (program->name == 0) {
        return D3DERR_INVALIDCALL; // the translated programs did not compile or link: reported
    }
    frameRendered_ = true;
    if (primitives == 0) {
        return D3D_OK;
    }
    applyStates();
    glUseProgram(program->name);
    if (program->vertexGeneration != generation_) {
        if (program->vertexConstants >= 0) {
            glUniform4fv(program->vertexConstants, static_cast<GLsizei>(vs->glsl().constantCount),
                         vertexConstants_.data());
        }
        if (program->pixelConstants >= 0) {
            glUniform4fv(program->pixelConstants, static_cast<GLsizei>(ps->glsl().constantCount),
                         pixelConstants_.data());
        }
        program->vertexGeneration = generation_;
    }
    if (program->pixelShift >= 0) {
        glUniform2f(program->pixelShift, 1.0f / static_cast<float>(viewport_.Width),
                    -1.0f / static_cast<float>(viewport_.Height));
    }
    for (std::uint32_t s = 0; s < static_cast<std::uint32_t>(SamplerCount); ++s) {
        if ((ps->glsl().samplers & (1u << s)) != 0) {
            const Texture* texture = textures_[s].concrete();
            glActiveTexture(GL_TEXTURE0 + s);
            glBindTexture(GL_TEXTURE_2D, texture != nullptr ? texture->name() : 0);
        }
    }
    applyLayout(*vs, *stream);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices->name());
    const GLenum mode = type == D3DPT_TRIANGLELIST ? GL_TRIANGLES
                        : type == D3DPT_TRIANGLESTRIP ? GL_TRIANGLE_STRIP
                                                      : GL_TRIANGLE_FAN;
    glDrawElementsBaseVertex(mode, static_cast<GLsizei>(needed), indexBytes == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(static_cast<std::uintptr_t>(startIndex * indexBytes)), base);
    return D3D_OK;
}

class GlDirect3D final : public com::RefCounted<IDirect3D9> {
public:
    explicit GlDirect3D(GlOptions options)
        : options_(std::move(options)), clipControl_(hasClipControl()), maxSamples_(maxSamples())
    {
    }

    UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL,
                                                         D3DMULTISAMPLE_TYPE samples, DWORD* quality) override
    {
        if (adapter != 0 || type != D3DDEVTYPE_HAL) {
            return D3DERR_INVALIDCALL;
        }
        const bool formatOk = format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 || format == D3DFMT_D16;
        const bool supported =
            formatOk && (samples == D3DMULTISAMPLE_NONE ||
                         (multisampling() && (samples == D3DMULTISAMPLE_2_SAMPLES || samples == D3DMULTISAMPLE_4_SAMPLES)));
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
            (p->MultiSampleType != D3DMULTISAMPLE_NONE && !multisampling())) {
            return D3DERR_NOTAVAILABLE;
        }
        if (!p->Windowed) {
            // A full-screen device shows its window and covers the screen with it.
            const HWND window = p->hDeviceWindow != nullptr ? p->hDeviceWindow : focus;
            const int width = p->BackBufferWidth != 0 ? static_cast<int>(p->BackBufferWidth) : 1024;
            const int height = p->BackBufferHeight != 0 ? static_cast<int>(p->BackBufferHeight) : 768;
            SetWindowPos(window, nullptr, 0, 0, width, height, SWP_SHOWWINDOW);
        }
        // Four samples for 2x as well, as the software device resolves them.
        const GLint samples = p->MultiSampleType >= D3DMULTISAMPLE_2_SAMPLES ? std::min<GLint>(4, maxSamples_) : 0;
        *device = new GlDevice(*p, options_, clipControl_, samples);
        return D3D_OK;
    }

private:
    ~GlDirect3D() override = default;
    bool multisampling() const { return options_.multisampleSupported && maxSamples_ >= 4; }
    GlOptions options_;
    bool clipControl_;
    GLint maxSamples_;
};

} // namespace

void configureGlDevice(GlOptions options)
{
    configured = std::move(options);
}

IDirect3D9* WINAPI glDirect3DCreate9(UINT sdkVersion)
{
    return sdkVersion == D3D_SDK_VERSION ? new GlDirect3D(configured) : nullptr;
}

void readFramePixels(const GlFrame& frame, std::vector<std::uint32_t>& out)
{
    const std::size_t width = static_cast<std::size_t>(frame.width);
    const std::size_t height = static_cast<std::size_t>(frame.height);
    std::vector<std::uint32_t> bottomUp(width * height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, frame.framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    // BGRA bytes as a little-endian 32-bit word are A8R8G8B8.
    glReadPixels(0, 0, frame.width, frame.height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, bottomUp.data());
    out.resize(width * height);
    for (std::size_t row = 0; row < height; ++row) {
        std::memcpy(out.data() + row * width, bottomUp.data() + (height - 1 - row) * width, width * 4);
    }
}

} // namespace gl
