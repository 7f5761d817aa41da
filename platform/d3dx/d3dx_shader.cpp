// D3DXAssembleShader and D3DXCreateBuffer over the assembler: the program
// text becomes a buffer of bytecode tokens, or a buffer of error text.
//
// The text is read up to SrcDataLen bytes (a zero byte ends it earlier, as
// the real assembler stops at one). Defines and include handlers are not
// supported: a non-NULL pDefines naming a macro, or a pInclude, is refused
// with D3DERR_INVALIDCALL. Flags are accepted and do not change the output:
// the assembler does no validation that SKIPVALIDATION could skip.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "com/ref_counted.hpp"
#include "d3dx/assembler.hpp"
#include "d3dx9.h"
#include "win32/api_trace.hpp"
#include "win32/call_line.hpp"

namespace {

// A reference-counted block of bytes.
class MemoryBuffer final : public com::RefCounted<ID3DXBuffer> {
public:
    explicit MemoryBuffer(std::size_t size) : bytes_(size) {}

    LPVOID STDMETHODCALLTYPE GetBufferPointer() override { return bytes_.data(); }
    DWORD STDMETHODCALLTYPE GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

private:
    ~MemoryBuffer() override = default;
    void released(ULONG left) override
    {
        win32::ApiCall call("Release", "ID3DXBuffer");
        call.returns(left);
    }

    std::vector<unsigned char> bytes_;
};

ID3DXBuffer* makeBuffer(const void* data, std::size_t size)
{
    auto* buffer = new (std::nothrow) MemoryBuffer(size);
    if (buffer != nullptr && size > 0) {
        std::memcpy(buffer->GetBufferPointer(), data, size);
    }
    return buffer;
}

// D3DX's results as the lines show them.
std::string resultText(HRESULT result)
{
    switch (result) {
    case D3D_OK: return "OK";
    case D3DERR_INVALIDCALL: return "INVALIDCALL";
    case D3DXERR_INVALIDDATA: return "INVALIDDATA";
    case E_OUTOFMEMORY: return "OUTOFMEMORY";
    default: return win32::hex(static_cast<unsigned long>(result));
    }
}

HRESULT refuse(win32::ApiCall& call, HRESULT result, std::string_view why)
{
    return call.refuse(result, call.traced() ? resultText(result) : std::string(), 0, why);
}

HRESULT succeed(win32::ApiCall& call, HRESULT result)
{
    return call.returns(result, call.traced() ? resultText(result) : std::string());
}

bool definesSomething(const D3DXMACRO* defines)
{
    return defines != nullptr && defines[0].Name != nullptr;
}

} // namespace

extern "C" HRESULT WINAPI D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer)
{
    win32::ApiCall call("D3DXCreateBuffer", NumBytes);
    if (ppBuffer == nullptr) {
        return refuse(call, D3DERR_INVALIDCALL, "nowhere to put it");
    }
    *ppBuffer = new (std::nothrow) MemoryBuffer(NumBytes);
    return *ppBuffer == nullptr ? refuse(call, E_OUTOFMEMORY, "no memory") : succeed(call, D3D_OK);
}

extern "C" HRESULT WINAPI D3DXAssembleShader(LPCSTR pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                                             LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXBUFFER* ppShader,
                                             LPD3DXBUFFER* ppErrorMsgs)
{
    win32::ApiCall call("D3DXAssembleShader", SrcDataLen, win32::line::Hex{Flags});
    if (ppShader != nullptr) {
        *ppShader = nullptr;
    }
    if (ppErrorMsgs != nullptr) {
        *ppErrorMsgs = nullptr;
    }
    if (pSrcData == nullptr || ppShader == nullptr) {
        return refuse(call, D3DERR_INVALIDCALL, pSrcData == nullptr ? "no text" : "nowhere to put the program");
    }
    if (definesSomething(pDefines) || pInclude != nullptr) {
        return refuse(call, D3DERR_INVALIDCALL, "macros and includes are not offered");
    }
    const void* zero = std::memchr(pSrcData, 0, SrcDataLen);
    const std::size_t length = zero == nullptr ? SrcDataLen : static_cast<std::size_t>(static_cast<const char*>(zero) - pSrcData);
    const d3dx::AssemblyResult result = d3dx::assembleShader(std::string_view(pSrcData, length));
    if (!result.succeeded) {
        if (ppErrorMsgs != nullptr) {
            *ppErrorMsgs = makeBuffer(result.errors.c_str(), result.errors.size() + 1);
        }
        return refuse(call, D3DXERR_INVALIDDATA, "the program text does not assemble");
    }
    *ppShader = makeBuffer(result.tokens.data(), result.tokens.size() * sizeof(std::uint32_t));
    return *ppShader == nullptr ? refuse(call, E_OUTOFMEMORY, "no memory") : succeed(call, D3D_OK);
}
