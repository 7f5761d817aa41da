// The instruction set of vs_2_0 and ps_2_0 as this platform supports it:
// one table of instructions (mnemonic, opcode, controls, operand shape, which
// program types allow it) and one table of register kinds (text name, type,
// how many each program type has, what they may be used for). The assembler,
// the disassembler, the decoder and the devices all read these two tables.
// Flow control, relative addressing, predicates and the integer and boolean
// constants are not supported; the assembler reports them as unknown.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "shader/bytecode.hpp"

namespace shader {

enum class Opcode : std::uint16_t {
    Nop = 0,
    Mov = 1,
    Add = 2,
    Sub = 3,
    Mad = 4,
    Mul = 5,
    Rcp = 6,
    Rsq = 7,
    Dp3 = 8,
    Dp4 = 9,
    Min = 10,
    Max = 11,
    Slt = 12,
    Sge = 13,
    Exp = 14,
    Log = 15,
    Lit = 16,
    Dst = 17,
    Lrp = 18,
    Frc = 19,
    M4x4 = 20,
    M4x3 = 21,
    M3x4 = 22,
    M3x3 = 23,
    M3x2 = 24,
    Dcl = 31,
    Pow = 32,
    Crs = 33,
    Abs = 35,
    Nrm = 36,
    SinCos = 37,
    Mova = 46,
    Texld = 66, // also texldp and texldb, told apart by the controls
    Expp = 78,
    Logp = 79,
    Def = 81,
    Cmp = 88,
    Dp2Add = 90,
};

// How the parameters of an instruction are laid out.
enum class InstructionForm : std::uint8_t {
    Arithmetic,  // optional destination, then sourceCount sources
    Declaration, // usage or sampler-type token, then a destination
    Definition,  // a constant register, then four floats
};

// Program types as bits, for OpcodeInfo::shaderTypes and RegisterKind.
constexpr std::uint8_t VertexBit = 1, PixelBit = 2, BothBits = 3;

constexpr std::uint8_t shaderTypeBit(ShaderType type)
{
    return type == ShaderType::Vertex ? VertexBit : PixelBit;
}

struct OpcodeInfo {
    std::string_view name;      // mnemonic as written, lower case
    Opcode opcode;
    std::uint32_t controls;     // bits 16-23 of the instruction token
    InstructionForm form;
    bool hasDestination;
    int sourceCount;            // 0 to MaxSources
    std::uint8_t shaderTypes;   // VertexBit | PixelBit: where shader model 2.0 allows it
    bool lastSourceIsSampler;   // texld: the last source names an s register
    bool writesAddress;         // mova: the destination is a0, and only mova writes a0
};

// What a register kind may appear as.
enum RegisterRole : std::uint8_t {
    RoleRead = 1,    // an ordinary source
    RoleWrite = 2,   // an ordinary destination
    RoleDeclare = 4, // the destination of dcl
    RoleDefine = 8,  // the destination of def
    RoleSample = 16, // texld's sampler operand
};

struct RegisterKind {
    std::string_view name;   // as written: "r", "oT", or a whole name such as "oPos"
    RegisterType type;
    int fixedNumber;         // the register number for a whole name, -1 for a numbered kind
    int vertexCount;         // registers a vertex program has (0: none)
    int pixelCount;          // registers a pixel program has (0: none)
    std::uint8_t roles;      // RegisterRole bits
};

// The register counts of the table below that arrays are sized by.
constexpr int TemporaryRegisters = 12;    // r
constexpr int VertexInputRegisters = 16;  // v of a vertex program
constexpr int VertexConstantRegisters = 256; // c of a vertex program
constexpr int PixelConstantRegisters = 32;   // c of a pixel program
constexpr int ColourOutputs = 2;          // oD; a pixel program's v
constexpr int TexCoordOutputs = 8;        // oT; a pixel program's t
constexpr int SamplerRegisters = 16;      // s of a pixel program
// Interpolated 4-vectors a pixel program can declare: v0, v1 and t0 - t7.
constexpr int MaxVaryings = ColourOutputs + TexCoordOutputs;

std::span<const OpcodeInfo> opcodeTable();
std::span<const RegisterKind> registerKinds();

// Case-insensitive mnemonic lookup; null when unknown.
const OpcodeInfo* findOpcode(std::string_view name);
// Lookup by the instruction token's opcode and controls; null when unknown.
const OpcodeInfo* findOpcode(std::uint16_t opcode, std::uint32_t controls);

// Parameter tokens after the instruction token.
int parameterTokenCount(const OpcodeInfo& info);

constexpr bool allowedIn(const OpcodeInfo& info, ShaderType type)
{
    return (info.shaderTypes & shaderTypeBit(type)) != 0;
}

constexpr int registerCount(const RegisterKind& kind, ShaderType type)
{
    return type == ShaderType::Vertex ? kind.vertexCount : kind.pixelCount;
}

// The kind a register token names in a program of this type, or null when
// that program has no such register (wrong type, number out of range).
const RegisterKind* findRegisterKind(ShaderType shader, RegisterType type, std::uint32_t number);
// Case-insensitive lookup of a kind's text name, whatever the program type.
const RegisterKind* findRegisterKind(std::string_view name);

std::string_view shaderTypeName(ShaderType type); // "vertex", "pixel"
std::string_view usageName(DeclarationUsage usage); // "position", "texcoord", ...
std::string_view textureTypeName(TextureType type); // "2d", "cube", "volume"; "" for Unknown

} // namespace shader
