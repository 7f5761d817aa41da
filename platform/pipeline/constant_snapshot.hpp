// The snapshot of a program part's constants: the registers it reads (its
// constantsRead, ascending), four floats each, back to back: what a
// compiled routine reads, and what a queued draw keeps of the constants
// it was made with. One layout for every reader that takes or spreads one.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "shader/program_analysis.hpp"

namespace pipeline {

// Appends the snapshot of `constants` (4 floats a register, `registers` of
// them; a register past them reads 0) to `out`.
inline void appendConstantSnapshot(const shader::ProgramPart& part, const float* constants, std::uint32_t registers,
                                   std::vector<float>& out)
{
    for (const std::uint32_t n : part.constantsRead) {
        for (std::uint32_t c = 0; c < 4; ++c) {
            out.push_back(n < registers ? constants[4 * n + c] : 0.0f);
        }
    }
}

// Puts a snapshot's registers back in their places of a register file
// (4 floats a register); the others are left as they are.
inline void spreadConstantSnapshot(const shader::ProgramPart& part, const float* snapshot, float* constants)
{
    for (const std::uint32_t n : part.constantsRead) {
        std::memcpy(constants + 4 * n, snapshot, 4 * sizeof(float));
        snapshot += 4;
    }
}

} // namespace pipeline
