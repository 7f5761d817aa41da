// The vertex stage of a draw: one interface, VertexShading, with two
// implementations that give the same bits: the shader machine (the
// reference, here) and the compiled routine (vertex_routine.hpp). Either
// runs the vertex program over the draw's vertex range and gathers its
// outputs into the varyings the pixel program reads.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "pipeline/vertex_fetch.hpp"
#include "raster/rasterizer.hpp"
#include "shader/program_analysis.hpp"

namespace raster {


struct VertexStageInput {
    const shader::ProgramAnalysis* program;
    const float* constants;              // shadeVertices alone: 4 x 256 floats, defs applied
    std::span<const pipeline::InputBinding> bindings;
    pipeline::VertexStream stream;
    std::int64_t firstVertex;            // BaseVertexIndex + MinVertexIndex
    std::int32_t vertexCount;            // NumVertices
    std::span<const shader::Varying> varyings; // the pixel program's, in its order
};

// A colour output on its way to a varying: clamped to [0, 1], NaN to 0.
inline float clampColour(float v)
{
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

// The shader machine over vertexCount vertices into out, with the whole
// constant file of input.constants.
void shadeVertices(const VertexStageInput& input, std::vector<ShadedVertex>& out);

// What a worker lends the shading from draw to draw: the routine's register
// file, or the machine's constant file.
struct VertexScratch {
    std::vector<float> registers;
};

class VertexShading {
public:
    virtual ~VertexShading() = default;
    // Shades input.vertexCount vertices into out, reading the constants from
    // `snapshot` (the whole program's constantsRead registers, four floats
    // each, in that order; input.constants is not read). Safe on several
    // threads at once, each with its own scratch.
    virtual void shade(const VertexStageInput& input, const float* snapshot, std::vector<ShadedVertex>& out,
                       VertexScratch& scratch) const = 0;
};

// The machine behind the interface: the snapshot spread into a whole file.
class MachineVertexShading final : public VertexShading {
public:
    void shade(const VertexStageInput& input, const float* snapshot, std::vector<ShadedVertex>& out,
               VertexScratch& scratch) const override;
};

// The shading of a program: compiled where it compiles and the reference
// is not asked for, else the machine.
std::shared_ptr<const VertexShading> makeVertexShading(const shader::ProgramAnalysis& program, bool reference);

} // namespace raster
