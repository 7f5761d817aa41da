// The assembler's pieces, shared by its files: the state of one assembly
// with its error list, the words of a line (assembly_words.cpp) and the
// operands they name (assembly_operands.cpp: registers, write masks,
// swizzles and numbers, checked against the opcode and register tables).
// Every function that fails records one error for the line and returns false.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shader/bytecode.hpp"

namespace d3dx::detail {


// One source line: its first word and the comma-separated operands.
struct Line {
    std::string_view mnemonic;
    std::vector<std::string_view> operands;
};

struct Assembly {
    shader::ShaderType shader = shader::ShaderType::Vertex;
    shader::DecodedProgram program;
    std::vector<std::string> errors;
    int line = 0;
    int slots = 0;        // instruction slots used, macros counting what they expand to
    int textureSlots = 0; // texld's, which a pixel program counts apart

    // Records an error for the current line; returns false for convenience.
    bool fail(const std::string& message)
    {
        errors.push_back("line " + std::to_string(line) + ": " + message);
        return false;
    }
};

// Text helpers.
std::string quoted(std::string_view word);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool isLetter(char c);
bool allDigits(std::string_view text);
// Splits "name.rest" at the first '.'; rest keeps no dot and may be empty.
void splitAtDot(std::string_view text, std::string_view& name, std::string_view& rest, bool& hasDot);

// The line without its comment.
std::string_view stripComment(std::string_view line);
// Words and commas; a comma is a word of its own.
std::vector<std::string_view> splitWords(std::string_view line);
// The mnemonic and the operands, which must alternate with single commas.
bool readOperands(Assembly& a, const std::vector<std::string_view>& words, Line& line);

// A register by name (r5, oPos, oT3), checked for the program's type and
// for the role it plays (shader::RoleRead and the others).
bool parseRegister(Assembly& a, std::string_view word, std::uint8_t role, shader::RegisterType& type,
                   std::uint32_t& number);
bool parseDestination(Assembly& a, std::string_view word, std::uint8_t role, shader::DestinationParameter& out);
bool parseSource(Assembly& a, std::string_view word, std::uint8_t role, shader::SourceParameter& out);
// Decimal only: [+-]digits[.digits][e[+-]digits], correctly rounded.
bool parseFloat(std::string_view word, float& value);

} // namespace d3dx::detail
