// A vertex program compiled once, when the device gets it, for the vertex
// routine of the widest SIMD the processor has (eight lanes with AVX2, four
// with SSE2): operands resolved to places in a register file, constants
// read from a draw's compact snapshot, inputs fetched a chunk of vertices
// at a time. It gives the shader machine's results bit for bit; the machine
// stays the reference that tests compare it with.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/rasterizer.hpp"
#include "raster/shader_vm.hpp"
#include "raster/vertex_kernel.hpp"
#include "raster/vertex_stage.hpp"

namespace raster {

enum class RoutineWidth { Best, Four, Eight };

// Whether this processor runs the eight-lane routine.
bool hasEightLaneRoutine();

class VertexRoutine {
public:
    // Compiles a loaded vertex program. compiled() is false for one that
    // holds anything the routine does not run (then the machine runs it).
    explicit VertexRoutine(const ShaderProgram& program, RoutineWidth width = RoutineWidth::Best);

    bool compiled() const { return compiled_; }
    std::int32_t width() const { return width_; }

    // Shades input.vertexCount vertices into out, reading the constants from
    // `snapshot` (the program's constantsRead() registers, four floats each,
    // in that order; input.constants is not read). `file` is the caller's
    // scratch. Returns the clip planes that every vertex lies outside of
    // (x < -w, x > w, y < -w, y > w, z < 0, z > w as bits 0 to 5): when not
    // 0, none of the draw can be seen.
    std::uint32_t shade(const VertexStageInput& input, const float* snapshot, std::vector<ShadedVertex>& out,
                        std::vector<float>& file) const;

private:
    struct Slot {
        std::uint32_t offset;      // of component x; the others follow, ChunkLanes apart
        std::uint8_t defaultMask;  // components given their default once a draw (never written)
        std::uint8_t clearMask;    // components cleared to 0 every chunk (read before written)
    };
    struct InputSlot {
        std::uint32_t inputRegister;
        std::uint32_t offset;
    };

    bool compile(const ShaderProgram& program);
    std::uint32_t slotOf(shader::RegisterType type, std::uint32_t number);
    void fetchChunk(const VertexStageInput& input, std::int64_t first, std::int32_t count, float* file) const;
    std::uint32_t gatherChunk(const VertexStageInput& input, const float* file, std::int32_t count,
                              ShadedVertex* out) const;

    bool compiled_ = false;
    std::int32_t width_ = 4;
    std::vector<kernel::Instruction> code_;
    std::vector<std::pair<std::uint32_t, Slot>> slots_; // key: type << 16 | number
    std::vector<InputSlot> inputSlots_;
    std::uint32_t constantBase_ = 0;  // first float of the constants' copies
    std::uint32_t constantCount_ = 0; // registers in the snapshot
    std::uint32_t fileSize_ = 0;      // floats
    std::uint32_t positionOffset_ = 0;
    std::uint32_t colourOffsets_[2] = {};
    std::uint32_t texCoordOffsets_[8] = {};
};

} // namespace raster
