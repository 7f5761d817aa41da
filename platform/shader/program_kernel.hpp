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

enum class Operation : std::uint8_t {
    Mov, Add, Sub, Mul, Mad, Min, Max, Slt, Sge, Lrp, Frc, Abs, // componentwise
    Rcp, Rsq, Exp, Log, Pow,                                    // of the sources' w, replicated
    Dot, Matrix, Cross, Normalize, Sample,
};

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
