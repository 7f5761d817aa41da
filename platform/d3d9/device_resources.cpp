// The device's resource and program creation, and UpdateTexture.
#include <algorithm>

#include "d3d9/call_trace.hpp"
#include "d3d9/device.hpp"
#include "d3d9/failures.hpp"
#include "shader/program_analysis.hpp"

namespace d3d9 {

HRESULT STDMETHODCALLTYPE Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                          IDirect3DVertexDeclaration9** declaration)
{
    std::vector<D3DVERTEXELEMENT9> copy;
    for (std::size_t i = 0; elements != nullptr && i < pipeline::MaxDeclarationElements; ++i) {
        copy.push_back(elements[i]);
        if (elements[i].Stream == 0xFF) {
            break;
        }
    }
    trace::Call call("CreateVertexDeclaration", trace::lazy([&copy] { return trace::elements(copy.data(), copy.size()); }));
    if (elements == nullptr || declaration == nullptr) {
        return call.refuse(D3DERR_INVALIDCALL, "no elements, or nowhere to write");
    }
    if (copy.back().Stream != 0xFF) {
        return call.refuse(D3DERR_INVALIDCALL, "no end marker");
    }
    for (std::size_t i = 0; i + 1 < copy.size(); ++i) {
        if (pipeline::elementSize(copy[i].Type) == 0) {
            return call.notOffered("vertex-element-type", "CreateVertexDeclaration: an element type not read");
        }
    }
    auto* made = new VertexDeclaration(nextName("decl", declarations_), std::move(copy));
    *declaration = made;
    return call.made(made->name());
}

template <typename Concrete, typename Interface>
HRESULT Device::createShader(const char* name, const char* kind, int& counter, shader::ShaderType type,
                             const DWORD* function, Interface** out)
{
    const std::size_t length = function != nullptr ? shader::measureProgram(function, 1 << 16) : 0;
    trace::Call call(name, trace::lazy([function, length] {
                         return length == 0 ? std::string("invalid")
                                            : std::to_string(length * 4) + " bytes " + trace::hash(function, length * 4);
                     }));
    shader::DecodedProgram decoded;
    std::string error;
    if (out == nullptr || length == 0) {
        return call.refuse(D3DERR_INVALIDCALL, "no program, or nowhere to write");
    }
    if (!shader::decodeProgram(function, length, decoded, error) || decoded.type != type) {
        return call.refuse(D3DERR_INVALIDCALL, error.empty() ? "a program of the other kind" : error);
    }
    shader::ProgramAnalysis analysis;
    switch (shader::analyzeProgram(decoded, analysis, error)) {
    case shader::ProgramFault::None: break;
    case shader::ProgramFault::NotExecuted:
        return call.notOffered("shader-instruction", std::string(name) + ": " + error);
    case shader::ProgramFault::ReadsPastRegisters: // as the runtime's validator refuses it
        return call.refuse(D3DERR_INVALIDCALL, error);
    }
    auto* made = new Concrete(*this, nextName(kind, counter), std::vector<std::uint32_t>(function, function + length),
                              std::move(analysis));
    made->setCopy(made->makeCopy(*backend_));
    *out = made;
    return call.made(made->name());
}

HRESULT STDMETHODCALLTYPE Device::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader)
{
    return createShader<VertexShader>("CreateVertexShader", "vs", vertexShaders_, shader::ShaderType::Vertex,
                                      function, shader);
}

HRESULT STDMETHODCALLTYPE Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader)
{
    return createShader<PixelShader>("CreatePixelShader", "ps", pixelShaders_, shader::ShaderType::Pixel, function,
                                     shader);
}

HRESULT STDMETHODCALLTYPE Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                                     IDirect3DVertexBuffer9** buffer, HANDLE* shared)
{
    trace::Call call("CreateVertexBuffer", length, trace::Hex{usage}, trace::Hex{fvf}, pool);
    if (length == 0 || buffer == nullptr || shared != nullptr || pool > D3DPOOL_SCRATCH) {
        return call.refuse(D3DERR_INVALIDCALL, "empty, no pool, shared or nowhere to write");
    }
    auto* made = new VertexBuffer(*this, nextName("vb", vertexBuffers_), D3DRTYPE_VERTEXBUFFER, length,
                                  D3DFMT_UNKNOWN);
    made->setCopy(made->makeCopy(*backend_));
    *buffer = made;
    return call.made(made->name());
}

HRESULT STDMETHODCALLTYPE Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                    IDirect3DIndexBuffer9** buffer, HANDLE* shared)
{
    trace::Call call("CreateIndexBuffer", length, trace::Hex{usage}, format, pool);
    if (length == 0 || buffer == nullptr || shared != nullptr || pool > D3DPOOL_SCRATCH) {
        return call.refuse(D3DERR_INVALIDCALL, "empty, no pool, shared or nowhere to write");
    }
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) {
        return call.refuse(D3DERR_INVALIDCALL, "not an index format");
    }
    auto* made = new IndexBuffer(*this, nextName("ib", indexBuffers_), D3DRTYPE_INDEXBUFFER, length, format);
    made->setCopy(made->makeCopy(*backend_));
    *buffer = made;
    return call.made(made->name());
}

HRESULT STDMETHODCALLTYPE Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                                D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                                HANDLE* shared)
{
    trace::Call call("CreateTexture", width, height, levels, trace::Hex{usage}, format, pool);
    if (texture == nullptr || shared != nullptr || pool > D3DPOOL_SCRATCH) {
        return call.refuse(D3DERR_INVALIDCALL, "no pool, shared or nowhere to write");
    }
    if (width == 0 || height == 0 || width > 4096 || height > 4096) {
        return call.refuse(D3DERR_INVALIDCALL, "empty, or a side past 4096");
    }
    if (levels != 1 || format != D3DFMT_A8R8G8B8) {
        return call.notOffered("texture-format", "CreateTexture: one-level A8R8G8B8 textures only");
    }
    auto* made = new Texture(*this, nextName("tex", textureCount_), width, height, pool, options_.textureRowPadding);
    made->setCopy(made->makeCopy(*backend_));
    *texture = made;
    return call.made(made->name());
}

HRESULT STDMETHODCALLTYPE Device::UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination)
{
    auto* from = dynamic_cast<Texture*>(source);
    auto* to = dynamic_cast<Texture*>(destination);
    trace::Call call("UpdateTexture", trace::lazy([from] { return from != nullptr ? from->name() : "invalid"; }),
                     trace::lazy([to] { return to != nullptr ? to->name() : "invalid"; }));
    if (from == nullptr || to == nullptr || from->pool() != D3DPOOL_SYSTEMMEM || to->pool() != D3DPOOL_DEFAULT) {
        return call.refuse(D3DERR_INVALIDCALL, "not a system-memory texture into a default-pool one");
    }
    if (from->width() != to->width() || from->height() != to->height()) {
        return call.refuse(D3DERR_INVALIDCALL, "textures of different sizes");
    }
    to->copyPixelsFrom(*from);
    return call.result(D3D_OK, call.traced() ? "pixels " + trace::hashText(to->contentHash()) : std::string());
}

} // namespace d3d9
