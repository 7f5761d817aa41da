// Decoded programs back to assembly text, in exactly the syntax the
// assembler reads: one instruction a line, each line ending in '\n', write
// masks and swizzles in their shortest form, def floats in the shortest
// decimal form that reads back to the same bits (always with a '.').
// Assembling the text gives back the program's tokens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "shader/bytecode.hpp"

namespace shader {

// "vs_2_0", "ps_2_0".
std::string versionText(const DecodedProgram& program);
// One line without its '\n', e.g. "dp3_sat r1, r3, r7".
std::string disassembleInstruction(const DecodedInstruction& instruction, ShaderType type);
// The version line and every instruction.
std::string disassembleProgram(const DecodedProgram& program);
// Decodes, then disassembles; false with `error` set when decoding fails.
bool disassembleTokens(const std::uint32_t* tokens, std::size_t count, std::string& text, std::string& error);

} // namespace shader
