// Disassembly: each instruction form prints its operands the way the
// assembler parses them, so text and tokens map one to one. Swizzles drop
// trailing repeats of their last component (.xyzz prints as .xyz) because
// the assembler replicates the last component written.
#include "shader/disassembler.hpp"

#include <charconv>

#include "shader/opcode_table.hpp"

namespace shader {
namespace {

constexpr char ComponentNames[4] = {'x', 'y', 'z', 'w'};

std::string registerName(RegisterType type, std::uint32_t number, ShaderType shader)
{
    const RegisterKind* kind = findRegisterKind(shader, type, number);
    if (kind == nullptr)
        return "?" + std::to_string(static_cast<int>(type)) + "_" + std::to_string(number);
    if (kind->fixedNumber >= 0)
        return std::string(kind->name);
    return std::string(kind->name) + std::to_string(number);
}

std::string writeMaskText(std::uint8_t mask)
{
    if (mask == WriteAll)
        return {};
    std::string text = ".";
    for (int i = 0; i < 4; ++i)
        if (mask & (1 << i))
            text += ComponentNames[i];
    return text;
}

std::string swizzleText(std::uint8_t swizzle)
{
    if (swizzle == IdentitySwizzle)
        return {};
    int length = 4;
    while (length > 1 && swizzleComponent(swizzle, length - 1) == swizzleComponent(swizzle, length - 2))
        --length;
    std::string text = ".";
    for (int i = 0; i < length; ++i)
        text += ComponentNames[swizzleComponent(swizzle, i)];
    return text;
}

std::string destinationText(const DestinationParameter& destination, ShaderType shader)
{
    return registerName(destination.type, destination.number, shader) + writeMaskText(destination.writeMask);
}

std::string sourceText(const SourceParameter& source, ShaderType shader)
{
    const std::string sign = source.modifier == SourceModifier::Negate ? "-" : "";
    return sign + registerName(source.type, source.number, shader) + swizzleText(source.swizzle);
}

// Shortest decimal that reads back to the same float; "1" becomes "1.0" so
// that a constant still looks like one.
std::string floatText(float value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    std::string out(text, result.ptr);
    if (out.find_first_of(".ein") == std::string::npos)
        out += ".0";
    return out;
}

std::string modifierSuffix(std::uint8_t resultModifier)
{
    std::string suffix;
    if (resultModifier & ResultSaturate)
        suffix += "_sat";
    if (resultModifier & ResultPartialPrecision)
        suffix += "_pp";
    return suffix;
}

std::string declarationText(const DecodedInstruction& instruction, ShaderType shader)
{
    const std::string reg = destinationText(instruction.destination, shader);
    if (instruction.destination.type == RegisterType::Sampler)
        return "dcl_" + std::string(textureTypeName(instruction.textureType)) + " " + reg;
    if (shader == ShaderType::Pixel)
        return "dcl " + reg;
    std::string text = "dcl_" + std::string(usageName(instruction.usage));
    if (instruction.usageIndex != 0)
        text += std::to_string(instruction.usageIndex);
    return text + " " + reg;
}

std::string definitionText(const DecodedInstruction& instruction, ShaderType shader)
{
    std::string text = "def " + destinationText(instruction.destination, shader);
    for (float value : instruction.values)
        text += ", " + floatText(value);
    return text;
}

std::string arithmeticText(const DecodedInstruction& instruction, ShaderType shader)
{
    const OpcodeInfo& info = *instruction.info;
    std::string text(info.name);
    std::string separator = " ";
    if (info.hasDestination) {
        text += modifierSuffix(instruction.destination.resultModifier);
        text += separator + destinationText(instruction.destination, shader);
        separator = ", ";
    }
    for (int i = 0; i < instruction.sourceCount; ++i) {
        text += separator + sourceText(instruction.sources[static_cast<std::size_t>(i)], shader);
        separator = ", ";
    }
    return text;
}

} // namespace

std::string versionText(const DecodedProgram& program)
{
    return std::string(program.type == ShaderType::Vertex ? "vs_" : "ps_") + std::to_string(program.major) + "_" +
           std::to_string(program.minor);
}

std::string disassembleInstruction(const DecodedInstruction& instruction, ShaderType type)
{
    switch (instruction.info->form) {
    case InstructionForm::Declaration:
        return declarationText(instruction, type);
    case InstructionForm::Definition:
        return definitionText(instruction, type);
    case InstructionForm::Arithmetic:
        break;
    }
    return arithmeticText(instruction, type);
}

std::string disassembleProgram(const DecodedProgram& program)
{
    std::string text = versionText(program) + "\n";
    for (const DecodedInstruction& instruction : program.instructions)
        text += disassembleInstruction(instruction, program.type) + "\n";
    return text;
}

bool disassembleTokens(const std::uint32_t* tokens, std::size_t count, std::string& text, std::string& error)
{
    DecodedProgram program;
    if (!decodeProgram(tokens, count, program, error))
        return false;
    text = disassembleProgram(program);
    return true;
}

} // namespace shader
