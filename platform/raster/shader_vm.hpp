// The shader machine of the software device: runs a decoded vs_2_0 or
// ps_2_0 program over a batch of lanes (vertices or pixels) at once.
//
// Registers are structures of arrays, [component][lane], so that each
// instruction is a short loop over lanes that the compiler vectorises. The
// instruction set is the opcode table's arithmetic subset (macros such as
// m4x4, nrm, crs and pow run as single instructions); what a program
// declares (dcl) and defines (def) is gathered when it is loaded.
// Conventions: temporaries start at zero in every run; def constants take
// the place of the device's constants of the same number; _sat clamps to
// [0, 1] with NaN becoming 0; rcp, rsq, exp, log read the source's w after
// swizzling (the programs replicate a component); rsq is 1/sqrt(|x|).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "shader/bytecode.hpp"
#include "shader/execution.hpp"

namespace raster {

constexpr std::int32_t LaneCount = 32;

struct alignas(64) Register {
    float c[4][LaneCount]; // [component x y z w][lane]
};

// A texture as a sampler sees it: A8R8G8B8 texels, point-sampled, wrapped.
struct SamplerTexture {
    const std::uint32_t* texels = nullptr; // NULL: nothing bound, samples read (0, 0, 0, 1)
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t pitch = 0; // texels from one row to the next
};

// Register files of one run. Sized for the largest shader model 2.0 counts.
struct ShaderMachine {
    Register temps[32];
    Register inputs[16];        // v: vertex inputs, or the pixel program's colours
    Register textureInputs[8];  // t: the pixel program's texture coordinates
    Register position;          // oPos
    Register colorOutputs[2];   // oD0, oD1
    Register texCoordOutputs[8]; // oT0 - oT7
    Register pixelColors[4];    // oC0 - oC3
    const float* constants = nullptr;       // 4 floats a register, with the defs applied
    const SamplerTexture* samplers = nullptr; // 16 entries
};

// One declared input of a program.
struct DeclaredInput {
    shader::RegisterType type;   // Input (v) or Texture (t)
    std::uint32_t number;
    shader::DeclarationUsage usage; // vertex inputs only
    std::uint32_t usageIndex;
};

class ShaderProgram {
public:
    // An executed instruction with its rule from the execution table.
    struct Step {
        shader::DecodedInstruction instruction;
        const shader::ExecutionRule* rule;
    };

    // Decodes and prepares tokens (version to end token); false with a
    // reason for a program the machine cannot run.
    bool load(const std::uint32_t* tokens, std::size_t count, std::string& error);
    // Prepares a decoded program; false with a reason as above.
    bool load(const shader::DecodedProgram& program, std::string& error);

    // Runs every lane (all LaneCount; lanes past those in use compute
    // harmless values). Temporaries are cleared first.
    void run(ShaderMachine& machine) const;

    // Runs only the instructions that oPos depends on (a vertex program's
    // position slice): enough to find draws that lie wholly outside the view.
    void runPositionSlice(ShaderMachine& machine) const;
    // The v registers the position slice reads.
    const std::vector<std::uint32_t>& positionInputs() const { return positionInputs_; }

    // constants (4 floats a register, `registers` of them) with this
    // program's def values put in.
    void applyDefinitions(float* constants, std::int32_t registers) const;
    // Whether a def names a register in [start, start + count).
    bool definesAnyIn(std::uint32_t start, std::uint32_t count) const;

    // The constant registers the program reads, ascending (rows of matrix
    // macros included): all a draw's snapshot of the constants needs.
    const std::vector<std::uint32_t>& constantsRead() const { return constantsRead_; }

    shader::ShaderType type() const { return type_; }
    // The executed instructions, in order (no dcl or def).
    const std::vector<Step>& code() const { return code_; }
    // Those of them that oPos depends on (a vertex program's position slice).
    const std::vector<Step>& positionSlice() const { return positionSlice_; }
    const std::vector<DeclaredInput>& inputs() const { return inputs_; }
    // Bit n set when the program writes oTn (bits 0-7), oD0 (bit 8), oD1 (bit 9).
    std::uint32_t writtenOutputs() const { return writtenOutputs_; }

private:
    struct Definition {
        std::uint32_t number;
        std::array<float, 4> values;
    };
    shader::ShaderType type_ = shader::ShaderType::Vertex;
    void findPositionSlice();

    std::vector<Step> code_; // executed instructions only
    std::vector<Step> positionSlice_;
    std::vector<std::uint32_t> positionInputs_;
    std::vector<std::uint32_t> constantsRead_;
    std::vector<DeclaredInput> inputs_;
    std::vector<Definition> definitions_;
    std::uint32_t writtenOutputs_ = 0;
    std::uint32_t tempCount_ = 0; // temporaries the program names
};

} // namespace raster
