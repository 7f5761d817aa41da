// The vertex stage of a draw on the shader machine (the reference path):
// the vertex program run over the draw's vertex range in batches, its
// outputs gathered into the varyings the pixel program reads. The compiled
// path is the vertex routine's (vertex_routine.hpp).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "d3d9/vertex_fetch.hpp"
#include "raster/rasterizer.hpp"
#include "shader/program_analysis.hpp"

namespace raster {

static_assert(MaxVaryings == static_cast<std::int32_t>(shader::MaxVaryings), "every varying a program declares");

struct VertexStageInput {
    const shader::ProgramAnalysis* program;
    const float* constants;              // 4 x 256 floats, defs applied
    std::span<const d3d9::InputBinding> bindings;
    d3d9::VertexStream stream;
    std::int64_t firstVertex;            // BaseVertexIndex + MinVertexIndex
    std::int32_t vertexCount;            // NumVertices
    std::span<const shader::Varying> varyings; // the pixel program's, in its order
};

// A colour output on its way to a varying: clamped to [0, 1], NaN to 0.
inline float clampColour(float v)
{
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

// Shades vertexCount vertices into out.
void shadeVertices(const VertexStageInput& input, std::vector<ShadedVertex>& out);

} // namespace raster
