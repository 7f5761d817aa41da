// What is known of a shader program once it is decoded, worked out once,
// when the front end creates the program, and read by every executor: the
// shader machine, the compiled routines, the vertex and pixel stages, the
// GLSL translator and the culling of draws that no pixel can see.
//
// Conventions every executor follows, from this analysis alone:
// - temporaries start at zero in every run (temporaryCount of them are
//   named, rows of matrix macros included);
// - an input register that a program reads but does not declare reads 0
//   in every component (undeclaredInputsRead);
// - def constants take the place of the device's constants of the same
//   number (applyDefinitions);
// - a pixel program's varyings are its declared v and t inputs in
//   declaration order, each fed by the vertex output of the same name.
// Components are bits x = 1, y = 2, z = 4, w = 8 throughout.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "shader/bytecode.hpp"
#include "shader/execution.hpp"

namespace shader {

// What an output a program never writes reads as: (0, 0, 0, w), w 1 for a
// vertex program's outputs (a position or varying with no w written is not
// at infinity) and 0 for a pixel program's colour.
constexpr float unwrittenOutputW(ShaderType type)
{
    return type == ShaderType::Vertex ? 1.0f : 0.0f;
}

// One number for a register: its type and number.
constexpr std::uint32_t registerKey(RegisterType type, std::uint32_t number)
{
    return static_cast<std::uint32_t>(type) << 16 | number;
}

// v and t registers: what a program reads and never writes.
constexpr bool isInputRegister(RegisterType type)
{
    return type == RegisterType::Input || type == RegisterType::Texture;
}

struct RegisterComponents {
    RegisterType type;
    std::uint32_t number;
    std::uint8_t components;
};

struct Definition {
    std::uint32_t number; // the c register a def sets
    std::array<float, 4> values;
};

struct DeclaredInput {
    RegisterType type;      // Input (v) or Texture (t)
    std::uint32_t number;
    DeclarationUsage usage; // vertex inputs only
    std::uint32_t usageIndex;
};

// A varying of a pixel program: its input register, fed by the vertex
// output oDn (colour, clamped to [0, 1] on its way) or oTn.
struct Varying {
    bool colour;          // vN, from oDN; else tN, from oTN
    std::uint32_t number;
};

// An executed instruction as one part of a program runs it.
struct ExecutedInstruction {
    DecodedInstruction instruction;
    const ExecutionRule* rule;
    std::uint8_t liveMask; // the result components written that something later reads (0: none)
    // Per source: the operand components (before the swizzle) that the
    // live result depends on (see sourceRead).
    std::array<std::uint8_t, MaxSources> operandComponents;
};

// What one use of a program runs (the whole program, or a vertex
// program's position slice) and what that reads and writes.
struct ProgramPart {
    std::vector<ExecutedInstruction> code;          // live instructions only, in program order
    std::vector<RegisterComponents> outputs;        // the outputs it hands on, with the components written
    std::vector<std::uint32_t> constantsRead;       // c registers, ascending, matrix rows included
    std::vector<RegisterComponents> inputsRead;     // declared v and t registers: the components that matter
    std::vector<RegisterComponents> undeclaredInputsRead; // read but never declared: they read 0
    std::vector<RegisterComponents> temporariesReadFirst; // components read before any write: they read 0
};

// A vertex program whose oPos is one affine map of one input register,
// oPos.i = dp4(vN, c[rows[i]]) (an m4x4, or dp4s that write each component
// once, operands unmodified and unswizzled): every position of a set of
// vertices then lies in the image of the box that bounds their inputs, and
// is within gamma(positionRoundings) of its exact value.
struct AffinePosition {
    bool found = false;
    std::uint32_t input = 0;                // N of vN
    std::array<std::uint32_t, 4> rows = {}; // the c register of each component
};

struct ProgramAnalysis {
    ShaderType type = ShaderType::Vertex;
    // Every executed instruction (no dcl or def), with its whole write mask:
    // what the reference machine runs.
    std::vector<ExecutedInstruction> instructions;
    std::vector<Definition> definitions;
    std::array<std::uint64_t, 4> definedConstants = {}; // bit n of word n / 64: a def sets cn
    std::vector<DeclaredInput> inputs;       // declared v and t registers, in declaration order
    std::vector<Varying> varyings;           // pixel programs: the declared inputs in order
    std::uint32_t samplersRead = 0;          // bit n: sN is sampled
    std::uint32_t temporaryCount = 0;        // r0 .. r(count - 1) cover every temporary named
    std::vector<std::uint32_t> constantsRead; // of every executed instruction, ascending
    std::vector<RegisterComponents> undeclaredInputsRead; // likewise
    ProgramPart whole;                       // every output
    // Vertex programs: only what oPos depends on.
    ProgramPart positionSlice;
    // Vertex programs whose position slice is built of operations whose
    // rounding error its magnitudes bound (moves, sums, products, dot
    // products, matrix macros, min, max, abs): the slice again over the
    // absolute values of its operands, sums for differences and max for
    // min, so that its oPos is at least the sum of the magnitudes of the
    // terms of each component; and the most roundings on any path from an
    // input to oPos (a product's path counting both factors'). Then a
    // computation of the slice in single precision that rounds each
    // operation (or fuses some) lies within gamma(n) * magnitude of the
    // exact value, gamma(n) = n u / (1 - n u), u = 2^-24.
    bool positionErrorBounded = false;
    ProgramPart positionMagnitude;
    std::uint32_t positionRoundings = 0;
    AffinePosition affinePosition;
};

// Why a program was refused.
enum class ProgramFault {
    None,
    NotExecuted,        // an instruction or register kind no executor runs
    ReadsPastRegisters, // a matrix macro's rows run past the register file
};

// Analyses a decoded program; on a fault, `error` says why in one line.
ProgramFault analyzeProgram(const DecodedProgram& program, ProgramAnalysis& out, std::string& error);

// Decodes tokens and analyses them (for tools and tests); false with one
// line of reason.
bool analyzeTokens(const std::uint32_t* tokens, std::size_t count, ProgramAnalysis& out, std::string& error);

// constants (4 floats a register, `registers` of them) with the program's
// defs put in.
void applyDefinitions(const ProgramAnalysis& program, float* constants, std::uint32_t registers);
// Whether a def names a register in [start, start + count), from the bits
// of the defined registers: the first and last word masked, any between
// whole. Inline: the front end asks at every SetVertexShaderConstantF.
inline bool definesAnyIn(const ProgramAnalysis& program, std::uint32_t start, std::uint32_t count)
{
    if (count == 0 || start >= 256) {
        return false;
    }
    const std::uint32_t last = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{start} + count, 256) - 1);
    const std::uint32_t firstWord = start / 64, lastWord = last / 64;
    const std::uint64_t fromStart = ~std::uint64_t{0} << (start % 64);
    const std::uint64_t toLast = ~std::uint64_t{0} >> (63 - last % 64);
    const std::array<std::uint64_t, 4>& bits = program.definedConstants;
    if (firstWord == lastWord) {
        return (bits[firstWord] & fromStart & toLast) != 0;
    }
    bool any = (bits[firstWord] & fromStart) != 0 || (bits[lastWord] & toLast) != 0;
    for (std::uint32_t word = firstWord + 1; word < lastWord; ++word) {
        any = any || bits[word] != 0;
    }
    return any;
}

// The def of register n that stands (the last), or NULL.
const Definition* definitionOf(const ProgramAnalysis& program, std::uint32_t n);

// The components of an input part reads (0 for one it never reads).
std::uint8_t inputComponentsRead(const ProgramPart& part, RegisterType type, std::uint32_t number);
// Whether the program declares the input register.
bool declaresInput(const ProgramAnalysis& program, RegisterType type, std::uint32_t number);

} // namespace shader
