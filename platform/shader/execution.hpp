// What the devices execute of the instruction set, and the rule each
// executed instruction's result follows: one table that the front end
// checks programs against and that the shader machine and the GLSL
// translator both dispatch from, so that they cannot disagree on what runs.
//
// Result rules for the values GLSL and IEEE leave open (both back ends
// give these): rcp(0) = +inf; rsq(x) = 1/sqrt(|x|), rsq(0) = +inf;
// log(x) = log2(|x|), log(0) = -inf; exp(x) = 2^x; pow(x, y) = |x|^y with
// pow(x, 0) = pow(±1, y) = 1, pow(0, y<0) = +inf, NaN otherwise NaN;
// min(a, b) = a < b ? a : b and max(a, b) = a >= b ? a : b (so a NaN on
// either side gives b); slt and sge give 0 when either side is NaN; _sat
// clamps to [0, 1] and sends NaN to 0; scalar instructions read the source's w
// after swizzling and replicate the result.
#pragma once

#include <cstdint>
#include <string>

#include "shader/opcode_table.hpp"

namespace shader {

enum class ResultShape : std::uint8_t {
    Componentwise,    // each component from the same components of the sources
    ReplicatedScalar, // one value from the sources' w, in every component
    Dot,              // the dot product of `columns` components, in every component
    MatrixRows,       // component i: the vector dotted with register (source 1 + i), `rows` of them
    Cross,            // the cross product of xyz; w is never written
    Normalize,        // the vector times rsq of its xyz dot product
    TextureSample,    // the sampler's texel at the coordinates' xy
};

struct ExecutionRule {
    Opcode opcode;
    ResultShape shape;
    std::uint8_t rows;         // MatrixRows: registers (result components) written
    std::uint8_t columns;      // Dot, MatrixRows: components dotted
    std::uint8_t writableMask; // the destination components the instruction can write
};

// What one source of an executed instruction reads: `registers` consecutive
// registers from the one it names (the rows of a matrix macro's source 1),
// and of each the operand components (before the swizzle, as bits x = 1 to
// w = 8) that the result components in `resultMask` depend on. A texture
// sample's sampler operand reads no register.
struct SourceRead {
    std::uint8_t registers;
    std::uint8_t components;
};

// The rule of an executed opcode; NULL for one no device executes.
const ExecutionRule* executionRule(Opcode opcode);

// What source `source` of an instruction of this rule reads when the
// components `resultMask` of its result are wanted.
SourceRead sourceRead(const ExecutionRule& rule, int source, std::uint8_t resultMask);

// The register components (bits) that the operand components `components`
// name through `swizzle`.
std::uint8_t swizzledComponents(std::uint8_t swizzle, std::uint8_t components);

// Whether every instruction and register of a decoded program is one the
// devices execute; false with one line naming the first that is not.
bool checkExecutable(const DecodedProgram& program, std::string& error);

// Whether every register an instruction's sources read in a program of this
// type lies inside its register file, the rows a matrix macro reads on from
// its source 1 included (the register a parameter names is checked where
// it is decoded or parsed); false with one line naming the instruction and
// the first register past the file. The assembler refuses such a text, the
// front end such tokens; every executor relies on it.
bool readsInsideRegisterFiles(ShaderType type, const DecodedInstruction& instruction, std::string& error);

} // namespace shader
