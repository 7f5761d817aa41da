// Token encoders and the program decoder. The decoder checks every token
// against the opcode and register tables before it trusts it, so a device
// can index its register files with a decoded number without checking again.
#include "shader/bytecode.hpp"

#include <cstdio>
#include <cstring>

#include "shader/opcode_table.hpp"

namespace shader {
namespace {

// A def's values as tokens and back (memcpy: the bits, whatever they hold).
std::uint32_t bitsOf(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float floatOf(std::uint32_t bits)
{
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

std::uint32_t encodeDestination(const DestinationParameter& destination)
{
    return registerToken(destination.type, destination.number) |
           ((static_cast<std::uint32_t>(destination.writeMask) << WriteMaskShift) & WriteMaskMask) |
           ((static_cast<std::uint32_t>(destination.resultModifier) << ResultModifierShift) & ResultModifierMask);
}

std::uint32_t encodeSource(const SourceParameter& source)
{
    return registerToken(source.type, source.number) |
           (static_cast<std::uint32_t>(source.swizzle) << SwizzleShift) |
           ((static_cast<std::uint32_t>(source.modifier) << SourceModifierShift) & SourceModifierMask);
}

std::uint32_t encodeUsage(DeclarationUsage usage, std::uint32_t usageIndex)
{
    return ParameterBit | (static_cast<std::uint32_t>(usage) & UsageMask) |
           ((usageIndex << UsageIndexShift) & UsageIndexMask);
}

std::uint32_t encodeSamplerType(TextureType type)
{
    return ParameterBit | ((static_cast<std::uint32_t>(type) << TextureTypeShift) & TextureTypeMask);
}

void encodeInstruction(const DecodedInstruction& instruction, std::vector<std::uint32_t>& out)
{
    const OpcodeInfo& info = *instruction.info;
    out.push_back(instructionToken(static_cast<std::uint16_t>(info.opcode), info.controls, parameterTokenCount(info)));
    switch (info.form) {
    case InstructionForm::Declaration:
        out.push_back(instruction.destination.type == RegisterType::Sampler
                          ? encodeSamplerType(instruction.textureType)
                          : encodeUsage(instruction.usage, instruction.usageIndex));
        out.push_back(encodeDestination(instruction.destination));
        break;
    case InstructionForm::Definition:
        out.push_back(encodeDestination(instruction.destination));
        for (float value : instruction.values)
            out.push_back(bitsOf(value));
        break;
    case InstructionForm::Arithmetic:
        if (info.hasDestination)
            out.push_back(encodeDestination(instruction.destination));
        for (int i = 0; i < instruction.sourceCount; ++i)
            out.push_back(encodeSource(instruction.sources[static_cast<std::size_t>(i)]));
        break;
    }
}

std::vector<std::uint32_t> encodeProgram(const DecodedProgram& program)
{
    std::vector<std::uint32_t> tokens{versionToken(program.type, program.major, program.minor)};
    for (const DecodedInstruction& instruction : program.instructions)
        encodeInstruction(instruction, tokens);
    tokens.push_back(EndToken);
    return tokens;
}

namespace {

// Bits a parameter token may carry besides the ones a field decodes.
constexpr std::uint32_t ReservedRegisterBits = 0x0000E000u; // relative addressing and bits 14-15

struct Decoder {
    const std::uint32_t* tokens;
    std::size_t count;
    ShaderType shader = ShaderType::Vertex;
    std::string* error;

    bool fail(std::size_t index, const std::string& message) const
    {
        *error = "token " + std::to_string(index) + ": " + message;
        return false;
    }
};

std::string hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// The register a parameter token names, if this program has it and may use
// it in one of `roles`.
const RegisterKind* decodeRegister(const Decoder& d, std::size_t index, std::uint8_t roles)
{
    const std::uint32_t token = d.tokens[index];
    if ((token & ParameterBit) == 0) {
        d.fail(index, "expected a parameter token, found " + hex(token));
        return nullptr;
    }
    if ((token & ReservedRegisterBits) != 0) {
        d.fail(index, "relative addressing or reserved bits set in " + hex(token));
        return nullptr;
    }
    const auto type = static_cast<RegisterType>(registerTypeBits(token));
    const RegisterKind* kind = findRegisterKind(d.shader, type, token & RegisterNumberMask);
    if (kind == nullptr) {
        d.fail(index, "no such register in a " + std::string(shaderTypeName(d.shader)) + " program: " + hex(token));
        return nullptr;
    }
    if ((kind->roles & roles) == 0) {
        d.fail(index, "register cannot be used here: " + hex(token));
        return nullptr;
    }
    return kind;
}

bool decodeDestination(const Decoder& d, std::size_t index, std::uint8_t roles, DestinationParameter& out)
{
    const RegisterKind* kind = decodeRegister(d, index, roles);
    if (kind == nullptr)
        return false;
    const std::uint32_t token = d.tokens[index];
    out.type = kind->type;
    out.number = token & RegisterNumberMask;
    out.writeMask = static_cast<std::uint8_t>((token & WriteMaskMask) >> WriteMaskShift);
    out.resultModifier = static_cast<std::uint8_t>((token & ResultModifierMask) >> ResultModifierShift);
    if ((token & ShiftScaleMask) != 0)
        return d.fail(index, "shift scale is not supported: " + hex(token));
    if (out.writeMask == 0)
        return d.fail(index, "empty write mask: " + hex(token));
    const std::uint8_t allowedModifiers =
        d.shader == ShaderType::Pixel && roles == RoleWrite ? ResultSaturate | ResultPartialPrecision : 0;
    if ((out.resultModifier & ~allowedModifiers) != 0)
        return d.fail(index, "result modifier not allowed here: " + hex(token));
    return true;
}

bool decodeSource(const Decoder& d, std::size_t index, std::uint8_t roles, SourceParameter& out)
{
    const RegisterKind* kind = decodeRegister(d, index, roles);
    if (kind == nullptr)
        return false;
    const std::uint32_t token = d.tokens[index];
    out.type = kind->type;
    out.number = token & RegisterNumberMask;
    out.swizzle = static_cast<std::uint8_t>((token & SwizzleMask) >> SwizzleShift);
    const auto modifier = (token & SourceModifierMask) >> SourceModifierShift;
    if (modifier > static_cast<std::uint32_t>(SourceModifier::Negate))
        return d.fail(index, "source modifier is not supported: " + hex(token));
    out.modifier = static_cast<SourceModifier>(modifier);
    if (roles == RoleSample && (out.swizzle != IdentitySwizzle || out.modifier != SourceModifier::None))
        return d.fail(index, "a sampler takes no swizzle or modifier: " + hex(token));
    return true;
}

bool decodeArithmetic(const Decoder& d, std::size_t at, DecodedInstruction& out)
{
    const OpcodeInfo& info = *out.info;
    std::size_t index = at + 1;
    if (info.hasDestination) {
        if (!decodeDestination(d, index, RoleWrite, out.destination))
            return false;
        const bool namesAddress = d.shader == ShaderType::Vertex && out.destination.type == RegisterType::Address;
        if (namesAddress != info.writesAddress)
            return d.fail(index, std::string(info.writesAddress ? "mova writes only a0" : "only mova writes a0"));
        ++index;
    }
    out.sourceCount = info.sourceCount;
    for (int i = 0; i < info.sourceCount; ++i, ++index) {
        const bool sampler = info.lastSourceIsSampler && i == info.sourceCount - 1;
        if (!decodeSource(d, index, sampler ? RoleSample : RoleRead, out.sources[static_cast<std::size_t>(i)]))
            return false;
    }
    return true;
}

bool decodeDeclaration(const Decoder& d, std::size_t at, DecodedInstruction& out)
{
    if (!decodeDestination(d, at + 2, RoleDeclare, out.destination))
        return false;
    const std::uint32_t token = d.tokens[at + 1];
    if ((token & ParameterBit) == 0)
        return d.fail(at + 1, "expected a declaration token, found " + hex(token));
    if (out.destination.type == RegisterType::Sampler) {
        const auto type = (token & TextureTypeMask) >> TextureTypeShift;
        out.textureType = static_cast<TextureType>(type);
        if ((token & ~(ParameterBit | TextureTypeMask)) != 0 || textureTypeName(out.textureType).empty())
            return d.fail(at + 1, "bad sampler declaration " + hex(token));
        if (out.destination.writeMask != WriteAll)
            return d.fail(at + 2, "a sampler declaration takes no write mask");
        return true;
    }
    const std::uint32_t usage = token & UsageMask;
    out.usage = static_cast<DeclarationUsage>(usage);
    out.usageIndex = (token & UsageIndexMask) >> UsageIndexShift;
    // Only vertex inputs carry a usage; a pixel input's token is bit 31 alone.
    const std::uint32_t fields = d.shader == ShaderType::Vertex ? UsageMask | UsageIndexMask : 0;
    if ((token & ~(ParameterBit | fields)) != 0 || usage >= DeclarationUsageCount)
        return d.fail(at + 1, "bad input declaration " + hex(token));
    return true;
}

bool decodeDefinition(const Decoder& d, std::size_t at, DecodedInstruction& out)
{
    if (!decodeDestination(d, at + 1, RoleDefine, out.destination))
        return false;
    if (out.destination.writeMask != WriteAll)
        return d.fail(at + 1, "def takes no write mask");
    for (std::size_t i = 0; i < 4; ++i)
        out.values[i] = floatOf(d.tokens[at + 2 + i]);
    return true;
}

// Decodes the instruction at `at`; on success sets `length` to its token count.
bool decodeInstruction(const Decoder& d, std::size_t at, DecodedInstruction& out, std::size_t& length)
{
    const std::uint32_t token = d.tokens[at];
    if ((token & 0xF0000000u) != 0)
        return d.fail(at, "expected an instruction token, found " + hex(token));
    const auto opcode = static_cast<std::uint16_t>(token & OpcodeMask);
    out.info = findOpcode(opcode, token & ControlsMask);
    if (out.info == nullptr)
        return d.fail(at, "unknown instruction " + hex(token));
    if (!allowedIn(*out.info, d.shader))
        return d.fail(at, std::string(out.info->name) + " is not available in a " +
                              std::string(shaderTypeName(d.shader)) + " program");
    const auto parameters = static_cast<std::size_t>((token & LengthMask) >> LengthShift);
    if (parameters != static_cast<std::size_t>(parameterTokenCount(*out.info)))
        return d.fail(at, std::string(out.info->name) + " with " + std::to_string(parameters) + " parameter tokens");
    if (parameters >= d.count - at)
        return d.fail(at, std::string(out.info->name) + " runs past the end of the stream");
    length = 1 + parameters;
    switch (out.info->form) {
    case InstructionForm::Declaration:
        return decodeDeclaration(d, at, out);
    case InstructionForm::Definition:
        return decodeDefinition(d, at, out);
    case InstructionForm::Arithmetic:
        break;
    }
    return decodeArithmetic(d, at, out);
}

bool decodeVersion(Decoder& d, DecodedProgram& out)
{
    if (d.count == 0)
        return d.fail(0, "empty token stream");
    const std::uint32_t token = d.tokens[0];
    if ((token & 0xFFFF0000u) == VertexVersionPrefix)
        d.shader = ShaderType::Vertex;
    else if ((token & 0xFFFF0000u) == PixelVersionPrefix)
        d.shader = ShaderType::Pixel;
    else
        return d.fail(0, "not a version token: " + hex(token));
    out.type = d.shader;
    out.major = static_cast<int>((token >> 8) & 0xFF);
    out.minor = static_cast<int>(token & 0xFF);
    if (out.major != 2 || out.minor != 0)
        return d.fail(0, "unsupported version " + std::to_string(out.major) + "." + std::to_string(out.minor));
    return true;
}

} // namespace

bool decodeProgram(const std::uint32_t* tokens, std::size_t count, DecodedProgram& out, std::string& error)
{
    out = DecodedProgram{};
    Decoder d{tokens, count, ShaderType::Vertex, &error};
    if (!decodeVersion(d, out))
        return false;
    std::size_t at = 1;
    for (;;) {
        if (at >= count)
            return d.fail(at, "stream ends before the end token");
        const std::uint32_t token = tokens[at];
        if (token == EndToken)
            return true;
        if ((token & OpcodeMask) == CommentOpcode && (token & ParameterBit) == 0) {
            const std::size_t length = (token & CommentLengthMask) >> CommentLengthShift;
            if (length >= count - at)
                return d.fail(at, "comment runs past the end of the stream");
            at += 1 + length;
            continue;
        }
        DecodedInstruction instruction;
        std::size_t length = 0;
        if (!decodeInstruction(d, at, instruction, length))
            return false;
        out.instructions.push_back(instruction);
        at += length;
    }
}

std::size_t measureProgram(const std::uint32_t* tokens, std::size_t limit)
{
    std::size_t at = 1; // past the version token
    while (at < limit) {
        const std::uint32_t token = tokens[at];
        if (token == EndToken) {
            return at + 1;
        }
        if ((token & OpcodeMask) == CommentOpcode) {
            at += 1 + ((token & CommentLengthMask) >> CommentLengthShift);
        } else {
            at += 1 + ((token & LengthMask) >> LengthShift);
        }
    }
    return 0;
}

} // namespace shader
