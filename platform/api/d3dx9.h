// The D3DX subset the system calls: the shader assembler and its buffer.
//
// Implemented by platform/d3dx (D3DXAssembleShader over the assembler of
// vs_2_0 and ps_2_0 text, D3DXCreateBuffer). Deliberately left out: macros
// and include handlers (accepted and ignored when NULL, refused otherwise),
// the compiler, effects, meshes, textures from files, math helpers.
// On Windows this header is the real one.
#pragma once

#if defined(_WIN32)
#include_next <d3dx9.h>
#else

#include "d3d9.h"

struct D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
};
typedef D3DXMACRO* LPD3DXMACRO;

enum D3DXINCLUDE_TYPE { D3DXINC_LOCAL = 0, D3DXINC_SYSTEM = 1 };

struct ID3DXInclude {
    virtual HRESULT STDMETHODCALLTYPE Open(D3DXINCLUDE_TYPE IncludeType, LPCSTR pFileName, LPCVOID pParentData,
                                           LPCVOID* ppData, UINT* pBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close(LPCVOID pData) = 0;

protected:
    ~ID3DXInclude() = default;
};
typedef ID3DXInclude* LPD3DXINCLUDE;

struct ID3DXBuffer : IUnknown {
    virtual LPVOID STDMETHODCALLTYPE GetBufferPointer() = 0;
    virtual DWORD STDMETHODCALLTYPE GetBufferSize() = 0;

protected:
    ~ID3DXBuffer() = default;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

#define D3DXSHADER_DEBUG (1 << 0)
#define D3DXSHADER_SKIPVALIDATION (1 << 1)
#define D3DXSHADER_SKIPOPTIMIZATION (1 << 2)

#define D3DXERR_INVALIDDATA ((HRESULT)0x88760B59L)

extern "C" {

// Exported by "d3dx9_24.dll"; the system binds it with GetProcAddress.
// On success *ppShader holds the bytecode tokens; on failure it is NULL and
// *ppErrorMsgs (when asked for) holds the zero-terminated error text.
HRESULT WINAPI D3DXAssembleShader(LPCSTR pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                                  LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXBUFFER* ppShader,
                                  LPD3DXBUFFER* ppErrorMsgs);
HRESULT WINAPI D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer);

} // extern "C"

#endif
