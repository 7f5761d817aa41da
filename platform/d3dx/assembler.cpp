// Assembly in three steps: a line is cut into words and commas, the first
// word picks the line kind from the opcode table (version, def, dcl or an
// arithmetic instruction), and each kind fills a shader::DecodedInstruction
// that shader::encodeProgram turns into tokens. All checks read the opcode
// and register tables, the same ones the decoder checks tokens against.
// Every bad line is reported; one error per line, naming the offending word.
#include "d3dx/assembler.hpp"

#include <algorithm>
#include <charconv>
#include <string>

#include "d3dx/assembly.hpp"
#include "shader/bytecode.hpp"
#include "shader/execution.hpp"
#include "shader/opcode_table.hpp"

namespace d3dx {
namespace {

using namespace shader;
using namespace detail;

bool checkOperandCount(Assembly& a, const Line& line, std::size_t expected)
{
    if (line.operands.size() == expected)
        return true;
    return a.fail(quoted(line.mnemonic) + " takes " + std::to_string(expected) + " operand" +
                  (expected == 1 ? "" : "s") + ", found " + std::to_string(line.operands.size()));
}

// "_sat", "_pp", "_sat_pp": result modifiers, pixel programs only.
bool parseResultModifiers(Assembly& a, const Line& line, std::string_view suffix, std::uint8_t& modifiers)
{
    modifiers = 0;
    while (!suffix.empty()) {
        const std::size_t end = suffix.find('_');
        const std::string_view name = suffix.substr(0, end);
        suffix = end == std::string_view::npos ? std::string_view() : suffix.substr(end + 1);
        std::uint8_t bit = 0;
        if (equalsIgnoringCase(name, "sat"))
            bit = ResultSaturate;
        else if (equalsIgnoringCase(name, "pp"))
            bit = ResultPartialPrecision;
        else
            return a.fail("unknown modifier " + quoted("_" + std::string(name)) + " in " + quoted(line.mnemonic));
        if (a.shader == ShaderType::Vertex)
            return a.fail("modifier " + quoted("_" + std::string(name)) + " of " + quoted(line.mnemonic) +
                          " is not available in a vertex program");
        modifiers = static_cast<std::uint8_t>(modifiers | bit);
    }
    return true;
}

bool assembleArithmetic(Assembly& a, const Line& line, const OpcodeInfo& info, std::string_view suffix)
{
    DecodedInstruction instruction;
    instruction.info = &info;
    if (!parseResultModifiers(a, line, suffix, instruction.destination.resultModifier))
        return false;
    const std::size_t first = info.hasDestination ? 1 : 0;
    if (!checkOperandCount(a, line, first + static_cast<std::size_t>(info.sourceCount)))
        return false;
    if (info.hasDestination) {
        DestinationParameter& destination = instruction.destination;
        if (!parseDestination(a, line.operands[0], RoleWrite, destination))
            return false;
        const bool namesAddress = destination.type == RegisterType::Address && a.shader == ShaderType::Vertex;
        if (namesAddress != info.writesAddress)
            return a.fail(info.writesAddress ? "mova writes only a0, found " + quoted(line.operands[0])
                                             : "only mova writes " + quoted(line.operands[0]));
    }
    instruction.sourceCount = info.sourceCount;
    for (int i = 0; i < info.sourceCount; ++i) {
        const std::uint8_t role = info.lastSourceIsSampler && i == info.sourceCount - 1 ? RoleSample : RoleRead;
        if (!parseSource(a, line.operands[first + static_cast<std::size_t>(i)], role,
                         instruction.sources[static_cast<std::size_t>(i)]))
            return false;
    }
    std::string past;
    if (!readsInsideRegisterFiles(a.shader, instruction, past))
        return a.fail(past);
    a.program.instructions.push_back(instruction);
    return true;
}

bool assembleDefinition(Assembly& a, const Line& line, const OpcodeInfo& info, std::string_view suffix)
{
    if (!suffix.empty())
        return a.fail("unknown instruction " + quoted(line.mnemonic));
    if (!checkOperandCount(a, line, 5))
        return false;
    DecodedInstruction instruction;
    instruction.info = &info;
    if (!parseDestination(a, line.operands[0], RoleDefine, instruction.destination))
        return false;
    if (instruction.destination.writeMask != WriteAll)
        return a.fail("def sets a whole register, found " + quoted(line.operands[0]));
    for (std::size_t i = 0; i < 4; ++i)
        if (!parseFloat(line.operands[i + 1], instruction.values[i]))
            return a.fail("bad number " + quoted(line.operands[i + 1]));
    a.program.instructions.push_back(instruction);
    return true;
}

TextureType findTextureType(std::string_view name)
{
    for (TextureType type : {TextureType::Texture2D, TextureType::Cube, TextureType::Volume})
        if (equalsIgnoringCase(name, textureTypeName(type)))
            return type;
    return TextureType::Unknown;
}

// "texcoord1" -> TexCoord, 1; false when the name is no usage.
bool parseUsage(std::string_view text, DeclarationUsage& usage, std::uint32_t& index)
{
    std::size_t letters = 0;
    while (letters < text.size() && isLetter(text[letters]))
        ++letters;
    const std::string_view digits = text.substr(letters);
    index = 0;
    if (!digits.empty()) {
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), index);
        if (!allDigits(digits) || result.ec != std::errc() || index > (UsageIndexMask >> UsageIndexShift))
            return false;
    }
    for (int i = 0; i < DeclarationUsageCount; ++i) {
        if (equalsIgnoringCase(text.substr(0, letters), usageName(static_cast<DeclarationUsage>(i)))) {
            usage = static_cast<DeclarationUsage>(i);
            return true;
        }
    }
    return false;
}

// The part of a dcl after "dcl_": a texture type for a sampler, a usage for
// a vertex input, nothing for a pixel input.
bool parseDeclarationKind(Assembly& a, const Line& line, std::string_view suffix, DecodedInstruction& instruction)
{
    instruction.textureType = findTextureType(suffix);
    if (instruction.textureType != TextureType::Unknown) {
        if (a.shader == ShaderType::Vertex)
            return a.fail(quoted(line.mnemonic) + " is not available in a vertex program");
        return true;
    }
    if (a.shader == ShaderType::Pixel) {
        if (suffix.empty())
            return true;
        DeclarationUsage usage;
        std::uint32_t index = 0;
        if (parseUsage(suffix, usage, index))
            return a.fail(quoted(line.mnemonic) + " is not available in a pixel program");
        return a.fail("unknown declaration " + quoted(line.mnemonic));
    }
    if (suffix.empty())
        return a.fail("'dcl' needs a usage in a vertex program, such as dcl_position");
    if (!parseUsage(suffix, instruction.usage, instruction.usageIndex))
        return a.fail("unknown declaration " + quoted(line.mnemonic));
    return true;
}

bool assembleDeclaration(Assembly& a, const Line& line, const OpcodeInfo& info, std::string_view suffix)
{
    DecodedInstruction instruction;
    instruction.info = &info;
    if (!parseDeclarationKind(a, line, suffix, instruction) || !checkOperandCount(a, line, 1))
        return false;
    DestinationParameter& destination = instruction.destination;
    if (!parseDestination(a, line.operands[0], RoleDeclare, destination))
        return false;
    const bool sampler = destination.type == RegisterType::Sampler;
    const bool samplerKind = instruction.textureType != TextureType::Unknown;
    if (sampler && !samplerKind)
        return a.fail("sampler " + quoted(line.operands[0]) + " needs a texture type: dcl_2d, dcl_cube or dcl_volume");
    if (!sampler && samplerKind)
        return a.fail(quoted(line.mnemonic) + " declares a sampler, found " + quoted(line.operands[0]));
    if (sampler && destination.writeMask != WriteAll)
        return a.fail("a sampler takes no write mask: " + quoted(line.operands[0]));
    a.program.instructions.push_back(instruction);
    return true;
}

bool looksLikeVersion(std::string_view word)
{
    return word.size() >= 3 && (equalsIgnoringCase(word.substr(0, 3), "vs_") || equalsIgnoringCase(word.substr(0, 3), "ps_"));
}

bool assembleVersion(Assembly& a, const Line& line)
{
    if (equalsIgnoringCase(line.mnemonic, "vs_2_0"))
        a.shader = ShaderType::Vertex;
    else if (equalsIgnoringCase(line.mnemonic, "ps_2_0"))
        a.shader = ShaderType::Pixel;
    else if (looksLikeVersion(line.mnemonic))
        return a.fail("unsupported version " + quoted(line.mnemonic) + ", expected vs_2_0 or ps_2_0");
    else
        return a.fail("missing version line (vs_2_0 or ps_2_0) before " + quoted(line.mnemonic));
    if (!line.operands.empty())
        return a.fail("unexpected " + quoted(line.operands[0]) + " after the version");
    a.program.type = a.shader;
    a.program.major = 2;
    a.program.minor = 0;
    return true;
}

// The instruction slots shader model 2.0 gives a program: 256 in vs_2_0; 64
// arithmetic and 32 texture ones in ps_2_0. A macro takes the slots of what
// it expands to.
int slotsOf(const OpcodeInfo& info)
{
    switch (info.opcode) {
    case Opcode::M4x4: case Opcode::M3x4: return 4;
    case Opcode::M4x3: case Opcode::M3x3: case Opcode::Nrm: case Opcode::Pow: return 3;
    case Opcode::M3x2: case Opcode::Crs: case Opcode::Lrp: return 2;
    case Opcode::SinCos: return 8;
    default: return 1;
    }
}

// Counts the instruction just assembled and refuses, once, the first that
// runs past the limits.
void countSlots(Assembly& a, const OpcodeInfo& info)
{
    const bool vertex = a.shader == ShaderType::Vertex;
    const bool texture = info.opcode == Opcode::Texld;
    int& used = texture && !vertex ? a.textureSlots : a.slots;
    const int limit = vertex ? 256 : texture ? 32 : 64;
    const bool wasWithin = used <= limit;
    used += slotsOf(info);
    if (wasWithin && used > limit) {
        a.fail("more than " + std::to_string(limit) + (texture && !vertex ? " texture" : "") +
               " instruction slots, the most a " + std::string(shaderTypeName(a.shader)) + " program of shader model 2.0 has");
    }
}

// Every line after the version: the mnemonic up to its first '_' names the
// table entry; the rest is modifiers, a usage or a texture type.
void assembleLine(Assembly& a, const Line& line)
{
    if (looksLikeVersion(line.mnemonic) && findOpcode(line.mnemonic) == nullptr) {
        a.fail("second version line " + quoted(line.mnemonic));
        return;
    }
    const std::size_t underscore = line.mnemonic.find('_');
    const std::string_view base = line.mnemonic.substr(0, underscore);
    const std::string_view suffix =
        underscore == std::string_view::npos ? std::string_view() : line.mnemonic.substr(underscore + 1);
    const OpcodeInfo* info = findOpcode(base);
    if (info == nullptr) {
        a.fail("unknown instruction " + quoted(line.mnemonic));
        return;
    }
    if (!allowedIn(*info, a.shader)) {
        a.fail(quoted(base) + " is not available in a " + std::string(shaderTypeName(a.shader)) + " program");
        return;
    }
    switch (info->form) {
    case InstructionForm::Declaration:
        assembleDeclaration(a, line, *info, suffix);
        return;
    case InstructionForm::Definition:
        assembleDefinition(a, line, *info, suffix);
        return;
    case InstructionForm::Arithmetic:
        assembleArithmetic(a, line, *info, suffix);
        countSlots(a, *info);
        return;
    }
}

} // namespace

AssemblyResult assembleShader(std::string_view text)
{
    Assembly a;
    bool haveVersion = false;
    std::size_t start = 0;
    for (int number = 1; start <= text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view raw = stripComment(text.substr(start, end - start));
        start = end + 1;
        a.line = number;
        const std::vector<std::string_view> words = splitWords(raw);
        Line line;
        if (words.empty() || !readOperands(a, words, line))
            continue;
        if (haveVersion) {
            assembleLine(a, line);
        } else if (!assembleVersion(a, line)) {
            break; // without a version the program type is unknown
        } else {
            haveVersion = true;
        }
    }
    if (!haveVersion && a.errors.empty()) {
        a.line = 1;
        a.fail("missing version line (vs_2_0 or ps_2_0)");
    }
    AssemblyResult result;
    if (!a.errors.empty()) {
        for (const std::string& error : a.errors)
            result.errors += error + "\n";
        return result;
    }
    result.succeeded = true;
    result.tokens = encodeProgram(a.program);
    return result;
}

} // namespace d3dx