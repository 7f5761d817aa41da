// What the software device holds between calls: bound objects, states,
// shader constants, the render target and the work queued for it.
// Internal to platform/raster.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "d3d9.h"
#include "raster/rasterizer.hpp"
#include "raster/resources.hpp"

namespace raster {

constexpr std::int32_t VertexConstantRegisters = 256;
constexpr std::int32_t PixelConstantRegisters = 32;
constexpr std::int32_t SamplerCount = 16;

// A reference held on a bound object, as Direct3D holds one, with the
// runtime's own object behind the interface found once, when it is bound
// (NULL for an object this runtime did not make).
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
    Interface* get() const { return object_; }
    Concrete* concrete() const { return concrete_; }

private:
    Interface* object_ = nullptr;
    Concrete* concrete_ = nullptr;
};

// One draw's triangles, ready to scan, with the pixel work they need.
struct QueuedDraw {
    std::shared_ptr<const DrawState> state; // shared by the draws that follow while no state changes
    std::vector<ScreenTriangle> triangles;
};

struct DeviceState {
    D3DVIEWPORT9 viewport = {};
    DWORD renderStates[256] = {};
    DWORD textureStageStates[8][33] = {};
    DWORD samplerStates[SamplerCount][14] = {};
    D3DMATRIX transforms[3] = {}; // world, view, projection: stored, unused with programs
    DWORD fvf = 0;
    bool layoutFromFvf = false; // SetFVF came after SetVertexDeclaration

    Bound<IDirect3DVertexBuffer9, VertexBuffer> stream;
    UINT streamOffset = 0;
    UINT streamStride = 0;
    Bound<IDirect3DIndexBuffer9, IndexBuffer> indices;
    Bound<IDirect3DVertexDeclaration9, VertexDeclaration> declaration;
    Bound<IDirect3DVertexShader9, VertexShader> vertexShader;
    Bound<IDirect3DPixelShader9, PixelShader9> pixelShader;
    std::array<Bound<IDirect3DBaseTexture9, Texture>, SamplerCount> textures;

    std::vector<float> vertexConstants = std::vector<float>(4 * VertexConstantRegisters, 0.0f);
    // What the bound vertex program reads: the constants with its defs in.
    std::vector<float> vertexProgramConstants = std::vector<float>(4 * VertexConstantRegisters, 0.0f);
    std::vector<float> pixelConstants = std::vector<float>(4 * PixelConstantRegisters, 0.0f);

    RenderTarget target;
    std::vector<std::uint32_t> frame; // the resolved back buffer
    std::vector<QueuedDraw> queue;
    std::shared_ptr<const DrawState> drawState; // NULL when a state it captures has changed
    bool inScene = false;
    bool frameDecided = false; // whether this frame's pixels are wanted has been asked
    bool frameWanted = true;
    bool frameRendered = false;
};

} // namespace raster
