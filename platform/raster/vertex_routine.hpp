// The vertex stage on a compiled program: a draw's vertices fetched a chunk
// at a time into the routine's register file, run, and gathered into
// shaded vertices.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/rasterizer.hpp"
#include "raster/vertex_stage.hpp"
#include "shader/compiled_program.hpp"

namespace raster {

class VertexRoutine final : public VertexShading {
public:
    explicit VertexRoutine(const shader::ProgramAnalysis& program,
                           shader::RoutineWidth width = shader::RoutineWidth::Best);

    bool compiled() const { return program_.compiled(); }
    std::int32_t width() const { return program_.width(); }

    // The routine's register file is the scratch's registers.
    void shade(const VertexStageInput& input, const float* snapshot, std::vector<ShadedVertex>& out,
               VertexScratch& scratch) const override;

private:
    void gatherChunk(const VertexStageInput& input, const float* file, std::int32_t count, ShadedVertex* out) const;

    shader::CompiledProgram program_;
    std::uint32_t inputOffsets_[shader::VertexInputRegisters]; // v registers' slots; ~0u for those never read
    std::uint32_t positionOffset_ = 0;
    std::uint32_t colourOffsets_[shader::ColourOutputs] = {};
    std::uint32_t texCoordOffsets_[shader::TexCoordOutputs] = {};
};

} // namespace raster
