// Direct3D 9 shader bytecode, shader model 2.0: the token formats as named
// constants, encoders and decoders for single tokens, and the program
// decoder the devices run on (tokens -> DecodedProgram) with its inverse
// (DecodedProgram -> tokens) that the assembler emits through.
// A program is 32-bit tokens: version, instructions, end token 0x0000FFFF.
// The decoder accepts exactly what the assembler can produce, so anything it
// returns disassembles and reassembles to the same tokens.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shader {

struct OpcodeInfo;

enum class ShaderType : std::uint8_t { Vertex, Pixel };

// Version token: 0xFFFE (vertex) or 0xFFFF (pixel) in bits 16-31, major
// version in bits 8-15, minor in bits 0-7.
constexpr std::uint32_t VertexVersionPrefix = 0xFFFE0000u;
constexpr std::uint32_t PixelVersionPrefix = 0xFFFF0000u;
constexpr std::uint32_t EndToken = 0x0000FFFFu;

// Instruction token. Bits 24-27 count the parameter tokens that follow
// (shader model 2 and up); bit 31 is clear, which tells it from a parameter.
constexpr std::uint32_t OpcodeMask = 0x0000FFFFu;
constexpr std::uint32_t ControlsMask = 0x00FF0000u;   // per-instruction controls (texldp, texldb)
constexpr int LengthShift = 24;
constexpr std::uint32_t LengthMask = 0x0F000000u;
constexpr std::uint32_t PredicatedBit = 0x10000000u;
constexpr std::uint32_t CommentOpcode = 0xFFFEu;      // bits 16-30: comment length in tokens
constexpr int CommentLengthShift = 16;
constexpr std::uint32_t CommentLengthMask = 0x7FFF0000u;
constexpr std::uint32_t TexldProjectControl = 0x00010000u; // texldp
constexpr std::uint32_t TexldBiasControl = 0x00020000u;    // texldb

// Every parameter token (destination, source, dcl usage) has bit 31 set.
constexpr std::uint32_t ParameterBit = 0x80000000u;
constexpr std::uint32_t RegisterNumberMask = 0x000007FFu;
// The register type is five bits: the low three in bits 28-30, the high two
// in bits 11-12.
constexpr int RegisterTypeShift = 28;
constexpr std::uint32_t RegisterTypeMask = 0x70000000u;
constexpr int RegisterTypeHighShift = 8; // type bits 3-4 move to token bits 11-12
constexpr std::uint32_t RegisterTypeHighMask = 0x00001800u;
constexpr std::uint32_t RelativeAddressingBit = 0x00002000u;

// Destination parameter.
constexpr int WriteMaskShift = 16;
constexpr std::uint32_t WriteMaskMask = 0x000F0000u;
constexpr std::uint8_t WriteX = 1, WriteY = 2, WriteZ = 4, WriteW = 8, WriteAll = 15;
constexpr int ResultModifierShift = 20;
constexpr std::uint32_t ResultModifierMask = 0x00F00000u;
constexpr std::uint8_t ResultSaturate = 1, ResultPartialPrecision = 2, ResultCentroid = 4;
constexpr std::uint32_t ShiftScaleMask = 0x0F000000u;

// Source parameter: two bits per component, x first; 0 = x ... 3 = w.
constexpr int SwizzleShift = 16;
constexpr std::uint32_t SwizzleMask = 0x00FF0000u;
constexpr std::uint8_t IdentitySwizzle = 0xE4; // .xyzw
constexpr int SourceModifierShift = 24;
constexpr std::uint32_t SourceModifierMask = 0x0F000000u;

// dcl's first parameter: usage and usage index for a vertex input, or the
// texture type for a sampler; a pixel input's is bit 31 alone.
constexpr std::uint32_t UsageMask = 0x0000001Fu;
constexpr int UsageIndexShift = 16;
constexpr std::uint32_t UsageIndexMask = 0x000F0000u;
constexpr int TextureTypeShift = 27;
constexpr std::uint32_t TextureTypeMask = 0x78000000u;

enum class RegisterType : std::uint8_t {
    Temp = 0,
    Input = 1,
    Const = 2,
    Address = 3,     // a0 in a vertex program
    Texture = 3,     // t0-t7 in a pixel program
    RastOut = 4,     // oPos 0, oFog 1, oPts 2
    AttrOut = 5,     // oD0, oD1
    TexCoordOut = 6, // oT0-oT7
    ConstInt = 7,
    ColorOut = 8,    // oC0-oC3
    DepthOut = 9,    // oDepth
    Sampler = 10,
};

enum class SourceModifier : std::uint8_t {
    None = 0,
    Negate = 1,
    Abs = 11,
    AbsNegate = 12,
};

enum class DeclarationUsage : std::uint8_t {
    Position = 0,
    BlendWeight = 1,
    BlendIndices = 2,
    Normal = 3,
    PointSize = 4,
    TexCoord = 5,
    Tangent = 6,
    Binormal = 7,
    TessFactor = 8,
    PositionT = 9,
    Color = 10,
    Fog = 11,
    Depth = 12,
    Sample = 13,
};
constexpr int DeclarationUsageCount = 14;

enum class TextureType : std::uint8_t { Unknown = 0, Texture2D = 2, Cube = 3, Volume = 4 };

struct DestinationParameter {
    RegisterType type = RegisterType::Temp;
    std::uint32_t number = 0;          // register index, 0-2047
    std::uint8_t writeMask = WriteAll; // WriteX | WriteY | ...
    std::uint8_t resultModifier = 0;   // ResultSaturate | ResultPartialPrecision
};

struct SourceParameter {
    RegisterType type = RegisterType::Temp;
    std::uint32_t number = 0;                 // register index, 0-2047
    std::uint8_t swizzle = IdentitySwizzle;   // component i of the result is (swizzle >> 2i) & 3
    SourceModifier modifier = SourceModifier::None;
};

constexpr int MaxSources = 3;

struct DecodedInstruction {
    const OpcodeInfo* info = nullptr;      // table entry; never null in a decoded program
    DestinationParameter destination;      // valid when info->hasDestination (dcl, def too)
    std::array<SourceParameter, MaxSources> sources{};
    int sourceCount = 0;
    // dcl only: the usage of a vertex input, or the texture type of a sampler.
    DeclarationUsage usage = DeclarationUsage::Position;
    std::uint32_t usageIndex = 0;          // 0-15
    TextureType textureType = TextureType::Unknown;
    std::array<float, 4> values{};         // def only: the four constants, bit-exact
};

struct DecodedProgram {
    ShaderType type = ShaderType::Vertex;
    int major = 2;
    int minor = 0;
    std::vector<DecodedInstruction> instructions; // in program order, no comments
};

constexpr std::uint32_t versionToken(ShaderType type, int major, int minor)
{
    return (type == ShaderType::Vertex ? VertexVersionPrefix : PixelVersionPrefix) |
           (static_cast<std::uint32_t>(major & 0xFF) << 8) | static_cast<std::uint32_t>(minor & 0xFF);
}

constexpr std::uint32_t instructionToken(std::uint16_t opcode, std::uint32_t controls, int parameterCount)
{
    return opcode | (controls & ControlsMask) |
           ((static_cast<std::uint32_t>(parameterCount) << LengthShift) & LengthMask);
}

// Bit 31, the register type in its two fields, and the number.
constexpr std::uint32_t registerToken(RegisterType type, std::uint32_t number)
{
    const auto t = static_cast<std::uint32_t>(type);
    return ParameterBit | ((t << RegisterTypeShift) & RegisterTypeMask) |
           ((t << RegisterTypeHighShift) & RegisterTypeHighMask) | (number & RegisterNumberMask);
}

constexpr std::uint32_t registerTypeBits(std::uint32_t token)
{
    return ((token & RegisterTypeMask) >> RegisterTypeShift) | ((token & RegisterTypeHighMask) >> RegisterTypeHighShift);
}

constexpr int swizzleComponent(std::uint8_t swizzle, int component)
{
    return (swizzle >> (2 * component)) & 3;
}

std::uint32_t encodeDestination(const DestinationParameter& destination);
std::uint32_t encodeSource(const SourceParameter& source);
std::uint32_t encodeUsage(DeclarationUsage usage, std::uint32_t usageIndex);
std::uint32_t encodeSamplerType(TextureType type);

// Appends the instruction token and its parameters.
void encodeInstruction(const DecodedInstruction& instruction, std::vector<std::uint32_t>& out);
// Version token, every instruction, end token.
std::vector<std::uint32_t> encodeProgram(const DecodedProgram& program);

// Decodes a whole program. Reads no token at or past `count`; stops at the
// end token (what follows it is not read) and skips comment tokens. On
// failure returns false and sets `error` to one line naming the token index.
bool decodeProgram(const std::uint32_t* tokens, std::size_t count, DecodedProgram& out, std::string& error);

// The number of tokens of the program at tokens, version and end token
// included, found by walking instruction lengths as a device does when it is
// handed only a pointer; 0 when no end token lies within the first limit.
std::size_t measureProgram(const std::uint32_t* tokens, std::size_t limit);

} // namespace shader
