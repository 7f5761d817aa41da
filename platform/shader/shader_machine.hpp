// The shader machine: the reference executor of vs_2_0 and ps_2_0
// programs, run over a batch of lanes (vertices or pixels) at once. The
// compiled routines give its bits; tests hold them to it.
//
// Registers are structures of arrays, [component][lane], so that each
// instruction is a short loop over lanes that the compiler vectorises. It
// runs every executed instruction of a program's analysis, macros (m4x4,
// nrm, crs, pow) as single instructions, and follows the analysis's
// conventions: the temporaries it names and the inputs it reads without
// declaring them are zero at the start of every run; _sat clamps to [0, 1]
// with NaN becoming 0; rcp, rsq, exp, log read the source's w after
// swizzling; rsq is 1/sqrt(|x|). The caller fills the declared inputs and
// gives the constants with the program's defs applied.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "shader/batch_lanes.hpp"
#include "shader/program_analysis.hpp"

namespace shader {

struct alignas(64) Register {
    float c[4][BatchLanes]; // [component x y z w][lane]
};

// A texture as a sampler sees it: A8R8G8B8 texels, point-sampled, wrapped.
struct SamplerTexture {
    const std::uint32_t* texels = nullptr; // NULL: nothing bound, samples read (0, 0, 0, 1)
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t pitch = 0; // texels from one row to the next
};

// Output registers as a program that never writes them leaves them
// (unwrittenOutputW), every lane.
inline void fillUnwritten(std::span<Register> outputs, ShaderType type)
{
    for (Register& r : outputs) {
        std::fill(&r.c[0][0], &r.c[3][0], 0.0f);
        std::fill(&r.c[3][0], &r.c[3][0] + BatchLanes, unwrittenOutputW(type));
    }
}

// Register files of one run, sized for shader model 2.0's counts (which the
// analysis has checked every read against).
struct ShaderMachine {
    Register temps[TemporaryRegisters];
    Register inputs[VertexInputRegisters];     // v: vertex inputs, or the pixel program's colours
    Register textureInputs[TexCoordOutputs];   // t: the pixel program's texture coordinates
    Register position;                         // oPos
    Register colorOutputs[ColourOutputs];      // oD0, oD1
    Register texCoordOutputs[TexCoordOutputs]; // oT0 - oT7
    Register pixelColors[1];     // oC0
    const float* constants = nullptr;         // 4 floats a register (256 or 32 of them), defs applied
    const SamplerTexture* samplers = nullptr; // 16 entries
};

// Runs every executed instruction over all BatchLanes lanes (lanes past
// those in use compute harmless values).
void runProgram(const ProgramAnalysis& program, ShaderMachine& machine);
// Runs a vertex program's position slice alone: enough for oPos.
void runPositionSlice(const ProgramAnalysis& program, ShaderMachine& machine);

} // namespace shader
