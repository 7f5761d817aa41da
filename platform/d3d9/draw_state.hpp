// The state a clear or draw is made with, as the front end keeps it and a
// back end reads it: plain values and pointers to the front end's objects,
// valid during the call. Dirty bits, one a kind of state the program sets,
// say what changed since the back end's last draw, so that a back end
// renews only what it derived from those (each back end's update function
// says which bit renews what).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "d3d9.h"
#include "pipeline/draw_linkage.hpp"

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

// What changed: one bit a kind of state the program sets. The front end
// sets them in one place (Device::markChanged) and clears them once a back
// end has drawn with them; a back end made again sees them all set.
using DirtyBits = std::uint32_t;
namespace dirty {
constexpr DirtyBits RenderStates = 1u << 0;    // SetRenderState
constexpr DirtyBits SamplerStates = 1u << 1;   // SetSamplerState
constexpr DirtyBits Textures = 1u << 2;        // SetTexture
constexpr DirtyBits VertexShader = 1u << 3;    // SetVertexShader
constexpr DirtyBits PixelShader = 1u << 4;     // SetPixelShader
constexpr DirtyBits VertexConstants = 1u << 5; // SetVertexShaderConstantF, or a vertex program's defs
constexpr DirtyBits PixelConstants = 1u << 6;  // SetPixelShaderConstantF, or a pixel program's defs
constexpr DirtyBits Viewport = 1u << 7;        // SetViewport, or a new render size
constexpr DirtyBits Streams = 1u << 8;         // SetStreamSource
constexpr DirtyBits Indices = 1u << 9;         // SetIndices
constexpr DirtyBits Declaration = 1u << 10;    // SetVertexDeclaration, SetFVF
constexpr DirtyBits All = (1u << 11) - 1;
} // namespace dirty

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
    // The layout and programs linked: made again by the front end before a
    // draw whenever the declaration or a program changed (Declaration,
    // VertexShader and PixelShader say so); a back end may keep it.
    std::shared_ptr<const pipeline::DrawLinkage> linkage;
    const Texture* textures[SamplerCount] = {};

    // The constant registers as the bound programs read them: what the
    // program set, with the bound program's defs put in.
    float vertexConstants[4 * VertexConstantRegisters] = {};
    float pixelConstants[4 * PixelConstantRegisters] = {};

    DirtyBits dirty = dirty::All; // changed since the back end last drew
};

} // namespace d3d9
