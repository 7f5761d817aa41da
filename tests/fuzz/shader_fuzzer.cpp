// Token streams as handed to CreateVertexShader and CreatePixelShader,
// through the runtime's front end over the software back end (the bytecode
// decoder, the analysis and its checks, the compiled routines), the GLSL
// translation of what the analysis accepts, and a draw with both programs
// when both were made. The first byte says where the vertex program's tokens end.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "d3d9/runtime.hpp"
#include "fuzz_input.hpp"
#include "gl/glsl_translator.hpp"
#include "raster/software_backend.hpp"
#include "shader/bytecode.hpp"
#include "shader/program_analysis.hpp"

namespace {

IDirect3DDevice9* makeDevice()
{
    d3d9::BackendOptions options;
    options.threads = 1;
    d3d9::useBackend(raster::softwareBackend(), options);
    IDirect3D9* direct3d = d3d9::createDirect3D9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS p = {};
    p.BackBufferWidth = 32;
    p.BackBufferHeight = 32;
    p.BackBufferFormat = D3DFMT_A8R8G8B8;
    p.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &p, &device);
    direct3d->Release();
    return device;
}

// Tokens from bytes, followed by end tokens. CreateVertexShader is handed a
// pointer alone and walks instruction and comment lengths to find the end,
// as Direct3D does; a caller must hand it a program that ends. Whatever
// length a token claims (a comment's reaches 32,767 tokens), the walk lands
// on one of the end tokens after the bytes.
std::vector<DWORD> tokensOf(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to)
{
    constexpr std::size_t Padding = 32768 + 16;
    std::vector<DWORD> tokens((to - from) / 4 + Padding, shader::EndToken);
    if (to > from) {
        std::memcpy(tokens.data(), bytes.data() + from, (to - from) / 4 * 4);
    }
    return tokens;
}

// The analysis of whatever decodes, and the GLSL of whatever it accepts.
void translate(const std::vector<DWORD>& tokens)
{
    shader::ProgramAnalysis program;
    std::string error;
    const std::size_t length = shader::measureProgram(tokens.data(), tokens.size());
    if (length != 0 && shader::analyzeTokens(tokens.data(), length, program, error)) {
        gl::translateProgram(program, {});
    }
}

void drawTriangle(IDirect3DDevice9* device)
{
    const float corners[12] = {-1, 1, 0.5f, 1, 0, 1, 0.5f, 1, -1, -1, 0.5f, 1};
    const std::uint16_t indices[3] = {0, 1, 2};
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    device->CreateVertexBuffer(sizeof corners, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr);
    device->CreateIndexBuffer(sizeof indices, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr);
    void* memory = nullptr;
    vb->Lock(0, 0, &memory, 0);
    std::memcpy(memory, corners, sizeof corners);
    vb->Unlock();
    ib->Lock(0, 0, &memory, 0);
    std::memcpy(memory, indices, sizeof indices);
    ib->Unlock();
    device->SetStreamSource(0, vb, 0, 16);
    device->SetIndices(ib);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->BeginScene();
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    vb->Release();
    ib->Release();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static IDirect3DDevice9* const device = makeDevice();
    FuzzInput input(data, size);
    const std::size_t split = input.byte();
    const std::vector<std::uint8_t> bytes = input.rest();
    const std::size_t middle = std::min(bytes.size(), split * 4);
    const std::vector<DWORD> vertexTokens = tokensOf(bytes, 0, middle);
    const std::vector<DWORD> pixelTokens = tokensOf(bytes, middle, bytes.size());
    translate(vertexTokens);
    translate(pixelTokens);
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    if (device->CreateVertexShader(vertexTokens.data(), &vs) == D3D_OK &&
        device->CreatePixelShader(pixelTokens.data(), &ps) == D3D_OK) {
        device->SetVertexShader(vs);
        device->SetPixelShader(ps);
        drawTriangle(device);
        device->SetVertexShader(nullptr);
        device->SetPixelShader(nullptr);
    }
    if (vs != nullptr) {
        vs->Release();
    }
    if (ps != nullptr) {
        ps->Release();
    }
    return 0;
}
