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
    if (elements == nullptr || declaration == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    std::vector<D3DVERTEXELEMENT9> copy;
    for (std::size_t i = 0; i < MaxDeclarationElements; ++i) {
        copy.push_back(elements[i]);
        if (elements[i].Stream == 0xFF) {
            break;
        }
    }
    const std::string call = trace::on() ? trace::callText("CreateVertexDeclaration",
                                                           trace::elements(copy.data(), copy.size()))
                                         : std::string();
    auto refuse = [&call](HRESULT result) {
        if (trace::on()) {
            win32::trace(call + " = " + trace::resultName(result));
        }
        return result;
    };
    if (copy.back().Stream != 0xFF) {
        return refuse(D3DERR_INVALIDCALL); // no end marker
    }
    for (std::size_t i = 0; i + 1 < copy.size(); ++i) {
        if (elementSize(copy[i].Type) == 0) {
            return refuse(notOffered("vertex-element-type", "CreateVertexDeclaration: an element type not read"));
        }
    }
    auto* made = new VertexDeclaration(nextName("decl", declarations_), std::move(copy));
    if (trace::on()) {
        win32::trace(call + " = " + made->name());
    }
    *declaration = made;
    return D3D_OK;
}

template <typename Concrete, typename Interface>
HRESULT Device::createShader(const char* call, const char* kind, int& counter, shader::ShaderType type,
                             const DWORD* function, Interface** out)
{
    const std::size_t length = function != nullptr ? shader::measureProgram(function, 1 << 16) : 0;
    shader::DecodedProgram decoded;
    std::string error;
    if (out == nullptr || length == 0 || !shader::decodeProgram(function, length, decoded, error) ||
        decoded.type != type) {
        trace::callWithResult("INVALIDCALL", call, "invalid");
        return D3DERR_INVALIDCALL;
    }
    std::vector<std::uint32_t> tokens(function, function + length);
    const std::string what = trace::on() ? std::to_string(length * 4) + " bytes " +
                                               trace::hash(tokens.data(), tokens.size() * 4)
                                         : std::string();
    shader::ProgramAnalysis analysis;
    switch (shader::analyzeProgram(decoded, analysis, error)) {
    case shader::ProgramFault::None: break;
    case shader::ProgramFault::NotExecuted:
        trace::callWithResult("NOTAVAILABLE", call, what);
        return notOffered("shader-instruction", std::string(call) + ": " + error);
    case shader::ProgramFault::ReadsPastRegisters: // as the runtime's validator refuses it
        trace::callWithResult("INVALIDCALL", call, what + " (" + error + ")");
        return D3DERR_INVALIDCALL;
    }
    auto* made = new Concrete(*this, nextName(kind, counter), std::move(tokens), std::move(analysis));
    made->setCopy(made->makeCopy(*backend_));
    trace::callWithResult(made->name(), call, what);
    *out = made;
    return D3D_OK;
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
    const auto traced = [&](const std::string& result) {
        trace::callWithResult(result, "CreateVertexBuffer", length, trace::Hex{usage}, trace::Hex{fvf}, pool);
    };
    if (length == 0 || buffer == nullptr || shared != nullptr || pool > D3DPOOL_SCRATCH) {
        traced("INVALIDCALL");
        return D3DERR_INVALIDCALL;
    }
    auto* made = new VertexBuffer(*this, nextName("vb", vertexBuffers_), D3DRTYPE_VERTEXBUFFER, length,
                                  D3DFMT_UNKNOWN);
    made->setCopy(made->makeCopy(*backend_));
    traced(made->name());
    *buffer = made;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                    IDirect3DIndexBuffer9** buffer, HANDLE* shared)
{
    const auto traced = [&](const std::string& result) {
        trace::callWithResult(result, "CreateIndexBuffer", length, trace::Hex{usage}, format, pool);
    };
    if (length == 0 || buffer == nullptr || shared != nullptr || pool > D3DPOOL_SCRATCH ||
        (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) {
        traced("INVALIDCALL");
        return D3DERR_INVALIDCALL;
    }
    auto* made = new IndexBuffer(*this, nextName("ib", indexBuffers_), D3DRTYPE_INDEXBUFFER, length, format);
    made->setCopy(made->makeCopy(*backend_));
    traced(made->name());
    *buffer = made;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                                D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                                HANDLE* shared)
{
    const auto traced = [&](const std::string& result) {
        trace::callWithResult(result, "CreateTexture", width, height, levels, trace::Hex{usage}, format, pool);
    };
    if (texture == nullptr || shared != nullptr || width == 0 || height == 0 || width > 4096 || height > 4096 ||
        pool > D3DPOOL_SCRATCH) {
        traced("INVALIDCALL");
        return D3DERR_INVALIDCALL;
    }
    if (levels != 1 || format != D3DFMT_A8R8G8B8) {
        traced("NOTAVAILABLE");
        return notOffered("texture-format", "CreateTexture: one-level A8R8G8B8 textures only");
    }
    auto* made = new Texture(*this, nextName("tex", textureCount_), width, height, pool, options_.textureRowPadding);
    made->setCopy(made->makeCopy(*backend_));
    traced(made->name());
    *texture = made;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination)
{
    auto* from = dynamic_cast<Texture*>(source);
    auto* to = dynamic_cast<Texture*>(destination);
    if (from == nullptr || to == nullptr || from->pool() != D3DPOOL_SYSTEMMEM || to->pool() != D3DPOOL_DEFAULT ||
        from->width() != to->width() || from->height() != to->height()) {
        trace::callWithResult("INVALIDCALL", "UpdateTexture", "invalid");
        return D3DERR_INVALIDCALL;
    }
    to->copyPixelsFrom(*from);
    if (trace::on()) {
        win32::trace(trace::callText("UpdateTexture", from->name(), to->name()) + " pixels " +
                     trace::hashText(to->contentHash()));
    }
    return D3D_OK;
}

} // namespace d3d9
