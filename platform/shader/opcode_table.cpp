// The instruction and register tables of shader model 2.0 (see the header).
// Which program type allows what follows the Direct3D 9 reference for
// vs_2_0 and ps_2_0: slt, sge, lit, dst, expp, logp and mova are vertex
// only; texld, cmp and dp2add are pixel only; the rest are shared.
#include "shader/opcode_table.hpp"

#include <array>
#include <cctype>

namespace shader {
namespace {

using F = InstructionForm;

constexpr OpcodeInfo arithmetic(std::string_view name, Opcode opcode, int sources, std::uint8_t types)
{
    return {name, opcode, 0, F::Arithmetic, true, sources, types, false, false};
}

constexpr std::array<OpcodeInfo, 40> Opcodes = {{
    {"nop", Opcode::Nop, 0, F::Arithmetic, false, 0, BothBits, false, false},
    arithmetic("mov", Opcode::Mov, 1, BothBits),
    arithmetic("add", Opcode::Add, 2, BothBits),
    arithmetic("sub", Opcode::Sub, 2, BothBits),
    arithmetic("mad", Opcode::Mad, 3, BothBits),
    arithmetic("mul", Opcode::Mul, 2, BothBits),
    arithmetic("rcp", Opcode::Rcp, 1, BothBits),
    arithmetic("rsq", Opcode::Rsq, 1, BothBits),
    arithmetic("dp3", Opcode::Dp3, 2, BothBits),
    arithmetic("dp4", Opcode::Dp4, 2, BothBits),
    arithmetic("min", Opcode::Min, 2, BothBits),
    arithmetic("max", Opcode::Max, 2, BothBits),
    arithmetic("slt", Opcode::Slt, 2, VertexBit),
    arithmetic("sge", Opcode::Sge, 2, VertexBit),
    arithmetic("exp", Opcode::Exp, 1, BothBits),
    arithmetic("log", Opcode::Log, 1, BothBits),
    arithmetic("lit", Opcode::Lit, 1, VertexBit),
    arithmetic("dst", Opcode::Dst, 2, VertexBit),
    arithmetic("lrp", Opcode::Lrp, 3, BothBits),
    arithmetic("frc", Opcode::Frc, 1, BothBits),
    arithmetic("m4x4", Opcode::M4x4, 2, BothBits),
    arithmetic("m4x3", Opcode::M4x3, 2, BothBits),
    arithmetic("m3x4", Opcode::M3x4, 2, BothBits),
    arithmetic("m3x3", Opcode::M3x3, 2, BothBits),
    arithmetic("m3x2", Opcode::M3x2, 2, BothBits),
    {"dcl", Opcode::Dcl, 0, F::Declaration, true, 0, BothBits, false, false},
    arithmetic("pow", Opcode::Pow, 2, BothBits),
    arithmetic("crs", Opcode::Crs, 2, BothBits),
    arithmetic("abs", Opcode::Abs, 1, BothBits),
    arithmetic("nrm", Opcode::Nrm, 1, BothBits),
    arithmetic("sincos", Opcode::SinCos, 3, BothBits),
    {"mova", Opcode::Mova, 0, F::Arithmetic, true, 1, VertexBit, false, true},
    {"texld", Opcode::Texld, 0, F::Arithmetic, true, 2, PixelBit, true, false},
    {"texldp", Opcode::Texld, TexldProjectControl, F::Arithmetic, true, 2, PixelBit, true, false},
    {"texldb", Opcode::Texld, TexldBiasControl, F::Arithmetic, true, 2, PixelBit, true, false},
    arithmetic("expp", Opcode::Expp, 1, VertexBit),
    arithmetic("logp", Opcode::Logp, 1, VertexBit),
    {"def", Opcode::Def, 0, F::Definition, true, 0, BothBits, false, false},
    arithmetic("cmp", Opcode::Cmp, 3, PixelBit),
    arithmetic("dp2add", Opcode::Dp2Add, 3, PixelBit),
}};

constexpr std::uint8_t Read = RoleRead, Write = RoleWrite, Declare = RoleDeclare, Define = RoleDefine,
                       Sample = RoleSample;

// Counts per program type are the shader model 2.0 register file sizes.
constexpr std::array<RegisterKind, 13> Registers = {{
    {"r", RegisterType::Temp, -1, TemporaryRegisters, TemporaryRegisters, Read | Write},
    {"v", RegisterType::Input, -1, VertexInputRegisters, ColourOutputs, Read | Declare},
    {"c", RegisterType::Const, -1, VertexConstantRegisters, PixelConstantRegisters, Read | Define},
    {"a", RegisterType::Address, -1, 1, 0, Write},
    {"t", RegisterType::Texture, -1, 0, TexCoordOutputs, Read | Declare},
    {"s", RegisterType::Sampler, -1, 0, SamplerRegisters, Sample | Declare},
    {"oPos", RegisterType::RastOut, 0, 1, 0, Write},
    {"oFog", RegisterType::RastOut, 1, 1, 0, Write},
    {"oPts", RegisterType::RastOut, 2, 1, 0, Write},
    {"oD", RegisterType::AttrOut, -1, ColourOutputs, 0, Write},
    {"oT", RegisterType::TexCoordOut, -1, TexCoordOutputs, 0, Write},
    {"oC", RegisterType::ColorOut, -1, 0, 4, Write},
    {"oDepth", RegisterType::DepthOut, 0, 0, 1, Write},
}};

constexpr std::array<std::string_view, DeclarationUsageCount> UsageNames = {
    "position", "blendweight", "blendindices", "normal", "psize", "texcoord", "tangent",
    "binormal", "tessfactor", "positiont", "color", "fog", "depth", "sample",
};

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y))
            return false;
    }
    return true;
}

} // namespace

std::span<const OpcodeInfo> opcodeTable()
{
    return Opcodes;
}

std::span<const RegisterKind> registerKinds()
{
    return Registers;
}

const OpcodeInfo* findOpcode(std::string_view name)
{
    for (const OpcodeInfo& info : opcodeTable())
        if (equalsIgnoringCase(info.name, name))
            return &info;
    return nullptr;
}

const OpcodeInfo* findOpcode(std::uint16_t opcode, std::uint32_t controls)
{
    for (const OpcodeInfo& info : opcodeTable())
        if (static_cast<std::uint16_t>(info.opcode) == opcode && info.controls == controls)
            return &info;
    return nullptr;
}

int parameterTokenCount(const OpcodeInfo& info)
{
    switch (info.form) {
    case InstructionForm::Declaration:
        return 2;
    case InstructionForm::Definition:
        return 5;
    case InstructionForm::Arithmetic:
        break;
    }
    return (info.hasDestination ? 1 : 0) + info.sourceCount;
}

const RegisterKind* findRegisterKind(ShaderType shader, RegisterType type, std::uint32_t number)
{
    for (const RegisterKind& kind : Registers) {
        if (kind.type != type || registerCount(kind, shader) == 0)
            continue;
        const bool inRange = kind.fixedNumber >= 0 ? number == static_cast<std::uint32_t>(kind.fixedNumber)
                                                   : number < static_cast<std::uint32_t>(registerCount(kind, shader));
        if (inRange)
            return &kind;
    }
    return nullptr;
}

const RegisterKind* findRegisterKind(std::string_view name)
{
    for (const RegisterKind& kind : Registers)
        if (equalsIgnoringCase(kind.name, name))
            return &kind;
    return nullptr;
}

std::string_view shaderTypeName(ShaderType type)
{
    return type == ShaderType::Vertex ? "vertex" : "pixel";
}

std::string_view usageName(DeclarationUsage usage)
{
    const auto index = static_cast<std::size_t>(usage);
    return index < UsageNames.size() ? UsageNames[index] : std::string_view();
}

std::string_view textureTypeName(TextureType type)
{
    switch (type) {
    case TextureType::Texture2D:
        return "2d";
    case TextureType::Cube:
        return "cube";
    case TextureType::Volume:
        return "volume";
    case TextureType::Unknown:
        break;
    }
    return {};
}

} // namespace shader
