// The compiled form of a shader program, and the routines that run it at
// SIMD width: a list of instructions whose operands are resolved to places
// in one register file, run over a chunk of lanes (vertices or pixels),
// instruction by instruction, each over every batch of lanes of the chunk.
//
// The register file holds each register the program uses as four
// components of BatchLanes floats (lane-register slots), then each
// constant register it reads as four floats (each read into every lane). The arithmetic is the shader
// machine's, operation for operation in the same order, without fused
// multiply-add, so that both give the same bits.
//
// Plain data only: the width-specific files that include this are built
// with their own instruction-set flags and must share no inline code with
// the rest of the program.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shader/batch_lanes.hpp"

namespace shader::kernel {

constexpr std::int32_t MaxWidth = 8;    // lanes of the widest routine (AVX2)

// The routine's operations, listed once: X(name, sources read (besides a
// matrix's rows), what a program's instruction becomes one by (Opcode: its
// opcode; Shape: its result's shape), that opcode or shape). The enum, the
// routines' dispatch and the compile's mapping are all made from it. The
// order matters: the componentwise operations first, then those of the
// sources' w whose result is replicated (Rcp to Pow), then the macros.
#define SHADER_KERNEL_OPERATIONS(X)                                                                                    \
    X(Mov, 1, Opcode, Mov)                                                                                             \
    X(Add, 2, Opcode, Add)                                                                                             \
    X(Sub, 2, Opcode, Sub)                                                                                             \
    X(Mul, 2, Opcode, Mul)                                                                                             \
    X(Mad, 3, Opcode, Mad)                                                                                             \
    X(Min, 2, Opcode, Min)                                                                                             \
    X(Max, 2, Opcode, Max)                                                                                             \
    X(Slt, 2, Opcode, Slt)                                                                                             \
    X(Sge, 2, Opcode, Sge)                                                                                             \
    X(Lrp, 3, Opcode, Lrp)                                                                                             \
    X(Frc, 1, Opcode, Frc)                                                                                             \
    X(Abs, 1, Opcode, Abs)                                                                                             \
    X(Rcp, 1, Opcode, Rcp)                                                                                             \
    X(Rsq, 1, Opcode, Rsq)                                                                                             \
    X(Exp, 1, Opcode, Exp)                                                                                             \
    X(Log, 1, Opcode, Log)                                                                                             \
    X(Pow, 2, Opcode, Pow)                                                                                             \
    X(Dot, 2, Shape, Dot)                                                                                              \
    X(Matrix, 1, Shape, MatrixRows)                                                                                    \
    X(Cross, 2, Shape, Cross)                                                                                          \
    X(Normalize, 1, Shape, Normalize)                                                                                  \
    X(Sample, 1, Shape, TextureSample)

enum class Operation : std::uint8_t {
#define SHADER_KERNEL_ENUM(name, sources, by, what) name,
    SHADER_KERNEL_OPERATIONS(SHADER_KERNEL_ENUM)
#undef SHADER_KERNEL_ENUM
};

// The sources an operation reads (besides a matrix's rows).
constexpr int sourceCount(Operation operation)
{
    switch (operation) {
#define SHADER_KERNEL_SOURCES(name, sources, by, what)                                                                 \
    case Operation::name: return sources;
        SHADER_KERNEL_OPERATIONS(SHADER_KERNEL_SOURCES)
#undef SHADER_KERNEL_SOURCES
    }
    return 0;
}

// Whether the operation works on its sources' w alone, its result replicated.
constexpr bool replicatesW(Operation operation)
{
    return operation >= Operation::Rcp && operation <= Operation::Pow;
}

enum class Modifier : std::uint8_t { None, Negate, Abs, AbsNegate };

// A source operand: where each of its components (swizzle applied) starts
// in the file, and whether it is a lane register (batch b at b * width
// further on) or a constant (one float, the same in every lane).
struct Source {
    std::uint32_t component[4];
    std::uint8_t batchStep; // 1: a lane register; 0: a constant
    Modifier modifier;
};

struct Instruction {
    Operation operation;
    std::uint8_t mask;      // components written
    bool saturate;
    std::uint8_t rows;      // Matrix: result components
    std::uint8_t columns;   // Dot, Matrix: components dotted
    std::uint8_t sampler;   // Sample: the sampler's number
    std::uint32_t destination; // the destination slot's offset
    Source source[3];
    Source row[4];          // Matrix: source 1's consecutive registers
};

// A texture as a sample reads it: A8R8G8B8 texels, point-sampled, wrapped.
// No texels: samples read (0, 0, 0, 1).
struct Sampler {
    const std::uint32_t* texels;
    std::int32_t width;
    std::int32_t height;
    std::int32_t pitch; // texels from one row to the next
};

// Run `count` instructions over `batches` batches of the routine's width.
// `samplers` (16 of them) may be NULL for a program that does not sample.
void runWidth4(const Instruction* code, std::size_t count, float* file, std::int32_t batches,
               const Sampler* samplers);
void runAvx2Width8(const Instruction* code, std::size_t count, float* file, std::int32_t batches,
                   const Sampler* samplers);

} // namespace shader::kernel
