// The state a clear or draw is made with, as the front end keeps it and a
// back end reads it: plain values and pointers to the front end's objects,
// valid during the call. Version counters let a back end keep what it
// derived from a group of states until one of them changes.
#pragma once

#include <cstdint>
#include <vector>

#include "d3d9.h"

namespace d3d9 {

class Buffer;
class Texture;
class Shader;

constexpr std::uint32_t VertexConstantRegisters = 256;
constexpr std::uint32_t PixelConstantRegisters = 32;
constexpr std::uint32_t SamplerCount = 16;
constexpr std::uint32_t StreamCount = 16; // the streams a device takes (one is offered)
constexpr std::uint32_t RenderStateCount = 256;
constexpr std::uint32_t TextureStageCount = 8;
constexpr std::uint32_t TextureStageStateCount = 33;
constexpr std::uint32_t SamplerStateCount = 14;

struct DrawState {
    std::int32_t width = 0;  // the back buffer's size
    std::int32_t height = 0;
    D3DVIEWPORT9 viewport = {};
    DWORD renderStates[RenderStateCount] = {};
    DWORD samplerStates[SamplerCount][SamplerStateCount] = {};

    const Shader* vertexShader = nullptr;
    const Shader* pixelShader = nullptr;
    const Buffer* stream = nullptr;
    UINT streamOffset = 0;
    UINT streamStride = 0;
    const Buffer* indices = nullptr;
    const std::vector<D3DVERTEXELEMENT9>* elements = nullptr; // the declaration's, or the FVF's; end marker included
    const Texture* textures[SamplerCount] = {};

    // The constant registers as the bound programs read them: what the
    // program set, with the bound program's defs put in.
    float vertexConstants[4 * VertexConstantRegisters] = {};
    float pixelConstants[4 * PixelConstantRegisters] = {};

    std::uint64_t layoutVersion = 0;          // declaration, FVF, stream, programs
    std::uint64_t pixelVersion = 0;           // viewport, render and sampler states, pixel program, textures, pixel constants
    std::uint64_t vertexConstantsVersion = 0; // vertex constants, vertex program
    std::uint64_t pixelConstantsVersion = 0;  // pixel constants, pixel program
};

} // namespace d3d9
