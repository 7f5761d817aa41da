// The vertex stage on a compiled program: a draw's vertices fetched a chunk
// at a time into the routine's register file, run, and gathered into
// shaded vertices, with the clip planes every vertex lies outside of.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/compiled_program.hpp"
#include "raster/rasterizer.hpp"
#include "raster/vertex_stage.hpp"

namespace raster {

class VertexRoutine {
public:
    explicit VertexRoutine(const ShaderProgram& program, RoutineWidth width = RoutineWidth::Best);

    bool compiled() const { return program_.compiled(); }
    std::int32_t width() const { return program_.width(); }

    // Shades input.vertexCount vertices into out, reading the constants from
    // `snapshot` (the program's constantsRead() registers, four floats each,
    // in that order; input.constants is not read). `file` is the caller's
    // scratch. Returns the clip planes that every vertex lies outside of
    // (x < -w, x > w, y < -w, y > w, z < 0, z > w as bits 0 to 5): when not
    // 0, none of the draw can be seen.
    std::uint32_t shade(const VertexStageInput& input, const float* snapshot, std::vector<ShadedVertex>& out,
                        std::vector<float>& file) const;

private:
    void fetchChunk(const VertexStageInput& input, std::int64_t first, std::int32_t count, float* file) const;
    std::uint32_t gatherChunk(const VertexStageInput& input, const float* file, std::int32_t count,
                              ShadedVertex* out) const;

    CompiledProgram program_;
    std::uint32_t inputOffsets_[16]; // v registers' slots; ~0u for those never read
    std::uint32_t positionOffset_ = 0;
    std::uint32_t colourOffsets_[2] = {};
    std::uint32_t texCoordOffsets_[8] = {};
};

} // namespace raster
