// The vertex stage on a compiled program: a draw's vertices fetched a chunk
// at a time into the routine's register file, run, and gathered into
// shaded vertices. The program's position slice runs first, alone: a draw
// whose vertices all lie outside one plane of the clip volume (most of this
// program's draws, on most frames) goes no further.
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

    bool compiled() const { return program_.compiled() && slice_.compiled(); }
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
    // The clip planes that every vertex of the draw lies outside of, from
    // the position slice.
    std::uint32_t commonOutcode(const VertexStageInput& input, const float* snapshot, float* file) const;
    void gatherChunk(const VertexStageInput& input, const float* file, std::int32_t count, ShadedVertex* out) const;

    CompiledProgram program_;
    CompiledProgram slice_;
    std::uint32_t inputOffsets_[16];      // v registers' slots; ~0u for those never read
    std::uint32_t sliceInputOffsets_[16]; // likewise in the slice's file
    std::uint32_t slicePositionOffset_ = 0;
    std::uint32_t positionOffset_ = 0;
    std::uint32_t colourOffsets_[2] = {};
    std::uint32_t texCoordOffsets_[8] = {};
};

} // namespace raster
