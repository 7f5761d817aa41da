// The compiled form of a vertex program, and the routines that run it at
// SIMD width: a list of instructions whose operands are resolved to places
// in one register file, run over a chunk of vertices, instruction by
// instruction, each over every batch of lanes of the chunk.
//
// The register file holds each register the program uses as four
// components of ChunkLanes floats (lane-register slots), then each
// constant register it reads as four components of MaxWidth copies of its
// value (read with a batch stride of 0). The arithmetic is the shader
// machine's, operation for operation in the same order, without fused
// multiply-add, so that both give the same bits.
//
// Plain data only: the width-specific files that include this are built
// with their own instruction-set flags and must share no inline code with
// the rest of the program.
#pragma once

#include <cstddef>
#include <cstdint>

namespace raster::kernel {

constexpr std::int32_t ChunkLanes = 32; // vertices a run of the instructions takes
constexpr std::int32_t MaxWidth = 8;    // lanes of the widest routine (AVX2)

enum class Operation : std::uint8_t {
    Mov, Add, Sub, Mul, Mad, Min, Max, Slt, Sge, Lrp, Frc, Abs, // componentwise
    Rcp, Rsq, Exp, Log, Pow,                                    // of the sources' w, replicated
    Dot, Matrix, Cross, Normalize,
};

enum class Modifier : std::uint8_t { None, Negate, Abs, AbsNegate };

// A source operand: where each of its components (swizzle applied) starts
// in the file, and whether it is a lane register (batch b at b * width
// further on) or a constant (the same copies for every batch).
struct Source {
    std::uint32_t component[4]; // offsets in the file, swizzle applied
    std::uint8_t batchStep;     // 1: a lane register; 0: a constant
    Modifier modifier;
};

struct Instruction {
    Operation operation;
    std::uint8_t mask;      // components written
    bool saturate;
    std::uint8_t rows;      // Matrix: result components
    std::uint8_t columns;   // Dot, Matrix: components dotted
    std::uint8_t sources;   // operands in use
    std::uint32_t destination; // the destination slot's offset
    Source source[3];
    Source row[4];          // Matrix: source 1's consecutive registers
};

// Run `count` instructions over `batches` batches of the routine's width.
void runWidth4(const Instruction* code, std::size_t count, float* file, std::int32_t batches);
void runAvx2Width8(const Instruction* code, std::size_t count, float* file, std::int32_t batches);

} // namespace raster::kernel
