// A shader program compiled once, when the device gets it, for the program
// routine of the widest SIMD the processor has (eight lanes with AVX2, four
// with SSE2): operands resolved to places in a register file, constants
// read from a compact snapshot of the registers the program reads. It gives
// the shader machine's results bit for bit; the machine stays the
// reference that tests compare it with. The vertex and pixel routines add
// their own inputs and outputs around it.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/program_kernel.hpp"
#include "raster/shader_vm.hpp"

namespace raster {

enum class RoutineWidth { Best, Four, Eight };

// Whether this processor runs the eight-lane routine.
bool hasEightLaneRoutine();

class CompiledProgram {
public:
    // Compiles a loaded program, or only a vertex program's position slice
    // (then the outputs other than oPos are left out). compiled() is false
    // for one that holds anything the routine does not run (then the
    // machine runs it).
    explicit CompiledProgram(const ShaderProgram& program, RoutineWidth width = RoutineWidth::Best,
                             bool positionSliceOnly = false);

    bool compiled() const { return compiled_; }
    std::int32_t width() const { return width_; }
    std::size_t fileSize() const { return fileSize_; } // floats
    // A register's slot (its x component; y, z, w follow ChunkLanes apart),
    // or ~0u when the program does not use it and it is not an output.
    std::uint32_t slot(shader::RegisterType type, std::uint32_t number) const;
    // The components of an input register that can change a result (as
    // bits x = 1 to w = 8); the routine may load the others, but what they
    // hold never matters.
    std::uint8_t inputComponentsRead(shader::RegisterType type, std::uint32_t number) const;

    // Once a draw (or whenever the file served another draw): the constant
    // copies from `snapshot` (the whole program's constantsRead() registers,
    // four floats each, in order), outputs never written set to (0, 0, 0, w),
    // inputs read but never declared set to 0.
    void prepareFile(float* file, const float* snapshot, float outputW) const;
    // Once a chunk: temporaries read before they are written set to 0.
    void clearTemporaries(float* file) const;
    // Runs the instructions over the first `lanes` lanes of the chunk.
    void run(float* file, std::int32_t lanes, const kernel::Sampler* samplers) const;

private:
    struct Slot {
        std::uint32_t key;         // register type << 16 | number
        std::uint32_t offset;
        std::uint8_t written = 0;  // components the program writes
        std::uint8_t cleared = 0;  // components read before any write (all that are read, for inputs)
    };
    bool compile(const ShaderProgram& program, bool positionSliceOnly);
    Slot& slotFor(shader::RegisterType type, std::uint32_t number);
    // An operand; constantIndex its place in the snapshot, or -1.
    bool compileOperand(const shader::SourceParameter& s, std::uint32_t row, std::uint8_t componentsRead,
                        kernel::Source& out, std::int32_t& constantIndex);

    bool compiled_ = false;
    std::int32_t width_ = 4;
    std::vector<kernel::Instruction> code_;
    std::vector<Slot> slots_;
    std::vector<std::uint32_t> constants_;      // the registers the code reads, ascending
    std::vector<std::uint32_t> snapshotIndex_;  // each one's place in the program's snapshot
    struct Fill {
        std::uint32_t offset; // ChunkLanes floats from here
        float value;
    };
    std::vector<Fill> fills_;        // outputs never written (w left out) and inputs never declared
    std::vector<std::uint32_t> outputWs_; // offsets of the w of outputs never written
    std::vector<std::uint32_t> temporaryClears_; // temporary components read before written, cleared every chunk
    std::uint32_t constantBase_ = 0; // first float of the constants' copies
    std::uint32_t fileSize_ = 0;
};

} // namespace raster
