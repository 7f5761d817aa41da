// The vertex stage of a draw: the vertex program run over the draw's vertex
// range in batches, its outputs gathered into the varyings the pixel
// program reads, and the triangles' corners renumbered into that range.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "raster/input_fetch.hpp"
#include "raster/rasterizer.hpp"
#include "raster/shader_vm.hpp"

namespace raster {

// Where each varying comes from: oD0/oD1 (colour) or oTn, in the order of
// the pixel program's declared inputs.
struct VaryingSource {
    bool colour;          // oDn, clamped to [0, 1] on the way
    std::uint32_t number; // n
};

struct VertexStageInput {
    const ShaderProgram* program;
    const float* constants;              // 4 x 256 floats, defs applied
    std::span<const InputBinding> bindings;
    const std::uint8_t* stream;
    std::size_t streamSize;
    std::size_t streamOffset;
    std::uint32_t stride;
    std::int64_t firstVertex;            // BaseVertexIndex + MinVertexIndex
    std::int32_t vertexCount;            // NumVertices
    std::span<const VaryingSource> varyings; // at most MaxVaryings
};

// A colour output on its way to a varying: clamped to [0, 1], NaN to 0.
inline float clampColour(float v)
{
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

// Bits of the clip planes a clip-space position lies outside of: x < -w,
// x > w, y < -w, y > w, z < 0, z > w as bits 0 to 5.
inline std::uint32_t clipOutcode(float x, float y, float z, float w)
{
    return (x < -w ? 1u : 0u) | (x > w ? 2u : 0u) | (y < -w ? 4u : 0u) | (y > w ? 8u : 0u) | (z < 0 ? 16u : 0u) |
           (z > w ? 32u : 0u);
}

// Whether every vertex of the range lies outside one and the same plane of
// the clip volume, found with the program's position slice alone: then none
// of the draw's triangles can be seen.
bool rangeIsOutsideView(const VertexStageInput& input);

// Shades vertexCount vertices into out.
void shadeVertices(const VertexStageInput& input, std::vector<ShadedVertex>& out);

// The varyings a pixel program reads: its declared v and t inputs in order.
std::vector<VaryingSource> varyingsOf(const ShaderProgram& pixelProgram);

} // namespace raster
