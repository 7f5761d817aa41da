// Making and releasing the declaration and the two programs. The texts are
// passed with their exact lengths (500 and 359), without the terminator.
#include "render/shader_setup.hpp"

#include "app/window.hpp"
#include "d3dx9.h"
#include "data/shader_programs.hpp"
#include "render/renderer.hpp"

IDirect3DVertexDeclaration9* vertexDeclaration;
IDirect3DVertexShader9* vertexShader;
IDirect3DPixelShader9* pixelShader;

const D3DVERTEXELEMENT9 vertexElements[6] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
    {0, 36, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 40, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1},
    D3DDECL_END(),
};

namespace {

using AssembleShaderFunction = decltype(&D3DXAssembleShader);

// The code buffer of one program text, or NULL when it did not assemble.
// The error buffer is released only after a failed assembly.
ID3DXBuffer* assembleProgram(AssembleShaderFunction assemble, const char* text, UINT length)
{
    ID3DXBuffer* code = NULL;
    ID3DXBuffer* errors = NULL;
    if (assemble == NULL) {
        return NULL;
    }
    if (assemble(text, length, NULL, NULL, D3DXSHADER_SKIPVALIDATION, &code, &errors) != 0) {
        if (errors != NULL) {
            errors->Release();
        }
        if (code != NULL) {
            code->Release();
        }
        return NULL;
    }
    return code;
}

const DWORD* tokensOf(ID3DXBuffer* code)
{
    return static_cast<const DWORD*>(code->GetBufferPointer());
}

} // namespace

void createShaderPrograms()
{
    device->CreateVertexDeclaration(vertexElements, &vertexDeclaration);
    const AssembleShaderFunction assemble = bindProc<AssembleShaderFunction>(d3dx9Module, "D3DXAssembleShader");

    ID3DXBuffer* code = assembleProgram(assemble, vertexShaderText, sizeof vertexShaderText - 1);
    if (code != NULL) {
        device->CreateVertexShader(tokensOf(code), &vertexShader);
        code->Release();
    }
    code = assembleProgram(assemble, pixelShaderText, sizeof pixelShaderText - 1);
    if (code != NULL) {
        device->CreatePixelShader(tokensOf(code), &pixelShader);
        code->Release();
    }
}

void releaseShaderPrograms()
{
    if (vertexShader != NULL) {
        vertexShader->Release();
        vertexShader = NULL;
    }
    if (pixelShader != NULL) {
        pixelShader->Release();
        pixelShader = NULL;
    }
    if (vertexDeclaration != NULL) {
        vertexDeclaration->Release();
        vertexDeclaration = NULL;
    }
}
