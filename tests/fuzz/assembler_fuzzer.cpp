// The shader assembler on arbitrary text; what it accepts must decode,
// disassemble and assemble again to the same tokens.
#include <cstdint>
#include <string>

#include "d3dx/assembler.hpp"
#include "shader/bytecode.hpp"
#include "shader/disassembler.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const d3dx::AssemblyResult code = d3dx::assembleShader(text);
    if (!code.succeeded) {
        return 0;
    }
    shader::DecodedProgram decoded;
    std::string error;
    if (!shader::decodeProgram(code.tokens.data(), code.tokens.size(), decoded, error)) {
        __builtin_trap(); // the assembler made bytecode its own decoder refuses
    }
    // What decodes disassembles and assembles again to the same tokens.
    const d3dx::AssemblyResult again = d3dx::assembleShader(shader::disassembleProgram(decoded));
    if (!again.succeeded || again.tokens != code.tokens) {
        __builtin_trap();
    }
    return 0;
}
