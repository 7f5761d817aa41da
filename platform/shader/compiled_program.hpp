// A part of a shader program (the whole program, or a vertex program's
// position slice, as its analysis gives them) compiled once for the program
// routine of the widest SIMD the processor has (eight lanes with AVX2, four
// with SSE2): operands resolved to places in a register file, constants
// read from a compact snapshot of the registers the part reads. Only live
// instructions are compiled, each writing its live components. It gives
// the shader machine's results bit for bit; the machine stays the
// reference that tests compare it with. Whoever runs it (the software
// back end's vertex and pixel stages, the culling of draws that reach no
// pixel) fills its inputs and reads its outputs by slot.
#pragma once

#include <cstdint>
#include <vector>

#include "shader/program_analysis.hpp"
#include "shader/program_kernel.hpp"
#include "shader/value_ranges.hpp"

namespace shader {

enum class RoutineWidth { Best, Four, Eight };

// Whether this processor runs the eight-lane routine.
bool hasEightLaneRoutine();

class CompiledProgram {
public:
    // Compiles a part of a program of this type. compiled() is false for
    // one that holds anything the routine does not run (then the machine
    // runs it).
    CompiledProgram(const ProgramPart& part, ShaderType type, RoutineWidth width = RoutineWidth::Best);

    bool compiled() const { return compiled_; }
    std::int32_t width() const { return width_; }
    std::size_t fileSize() const { return fileSize_; } // floats
    // A register's slot (its x component; y, z, w follow BatchLanes apart),
    // or ~0u when the program does not use it and it is not an output.
    std::uint32_t slot(RegisterType type, std::uint32_t number) const;
    // Whether another routine's register file is laid out as this one's
    // (the same slots and constants): one may run in the other's file.
    bool sameFileAs(const CompiledProgram& other) const;

    // Once a draw (or whenever the file served another draw): the constant
    // copies from `snapshot` (the part's constantsRead registers, four
    // floats each, in order), outputs never written set as
    // unwrittenOutputW says, inputs read but never declared set to 0.
    void prepareFile(float* file, const float* snapshot) const;
    // Once a chunk: temporaries read before they are written set to 0.
    void clearTemporaries(float* file) const;
    // Runs the instructions over the first `lanes` lanes of the chunk.
    void run(float* file, std::int32_t lanes, const kernel::Sampler* samplers) const;

    // The same run over ranges (value_ranges.hpp): rangeCount() of them,
    // one a lane-register component, the one at slot s at s / BatchLanes.
    std::size_t rangeCount() const { return constantBase_ / BatchLanes; }
    // What prepareFile and clearTemporaries set, as exact ranges; every
    // other component may hold anything.
    void prepareRanges(ValueRange* ranges) const;
    void runOnRanges(ValueRange* ranges, const float* snapshot) const
    {
        shader::runOnRanges(code_.data(), code_.size(), ranges, snapshot, constantBase_);
    }

private:
    struct Slot {
        std::uint32_t key;         // register type << 16 | number
        std::uint32_t offset;
    };
    bool compile(const ProgramPart& part);
    void reserveOutputSlots(const ProgramPart& part);
    bool compileInstructions(const ProgramPart& part);
    void placeConstants(const ProgramPart& part);
    bool compileInstruction(const ExecutedInstruction& step, const std::vector<std::uint32_t>& constants);
    std::uint32_t slotFor(RegisterType type, std::uint32_t number);
    void listFills(const ProgramPart& part);
    // Calls set(offset, value) for each lane-register component the file
    // holds a set value in before the code runs (fills and unwritten ws).
    template <typename Set>
    void forEachPreset(Set set) const;
    // An operand; constantIndex its place in the snapshot, or -1.
    bool compileOperand(const SourceParameter& s, std::uint32_t row, const std::vector<std::uint32_t>& constants,
                        kernel::Source& out, std::int32_t& constantIndex);

    bool compiled_ = false;
    ShaderType type_ = ShaderType::Vertex;
    std::int32_t width_ = 4;
    std::vector<kernel::Instruction> code_;
    std::vector<Slot> slots_;
    struct Fill {
        std::uint32_t offset; // BatchLanes floats from here
        float value;
    };
    std::vector<Fill> fills_;        // outputs never written (w left out) and inputs never declared
    std::vector<std::uint32_t> outputWs_; // offsets of the w of outputs never written
    std::vector<std::uint32_t> temporaryClears_; // temporary components read before written, cleared every chunk
    // Operands of constants, placed once the lane slots are all known.
    struct ConstantOperand {
        std::size_t instruction;
        int operand;
        bool isRow;         // a matrix row, else a source
        std::int32_t index; // in the snapshot
    };
    std::vector<ConstantOperand> constantOperands_;
    std::uint32_t constantCount_ = 0; // registers in the snapshot
    std::uint32_t constantBase_ = 0; // first float of the constants' copies
    std::uint32_t fileSize_ = 0;
};

} // namespace shader
