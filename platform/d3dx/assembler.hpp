// The shader assembler behind D3DXAssembleShader: vs_2_0 and ps_2_0 program
// text to Direct3D 9 bytecode tokens (version, instructions, end token; no
// comment tokens). Reads version lines, def, dcl (usages for vertex inputs,
// plain for pixel inputs, dcl_2d/_cube/_volume for samplers), every
// instruction of shader/opcode_table.hpp with _sat and _pp (pixel programs
// only), write masks, swizzles of 1 to 4 components, negation, and // or ;
// comments. Mnemonics and register names are case-insensitive.
// Not supported: preprocessor lines, flow control, relative addressing,
// predicates, defi/defb, source modifiers other than negation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace d3dx {

struct AssemblyResult {
    bool succeeded = false;             // true when tokens holds the program
    std::vector<std::uint32_t> tokens;  // version token to end token; empty on failure
    std::string errors;                 // on failure, "line N: what is wrong 'token'\n" per bad line
};

AssemblyResult assembleShader(std::string_view text);

} // namespace d3dx
