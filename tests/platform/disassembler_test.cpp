// Decoder and disassembler: decoding gives back what was written, the
// disassembly reassembles to the same tokens, and streams that are cut
// short or damaged are refused without a read past their end (the buffers
// below are sized exactly, so the address sanitizer sees any overread).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "d3dx/assembler.hpp"
#include "data/shader_programs.hpp"
#include "shader/bytecode.hpp"
#include "shader/disassembler.hpp"
#include "shader/opcode_table.hpp"

namespace {

using shader::DecodedProgram;
using Tokens = std::vector<std::uint32_t>;

Tokens assembleOrFail(std::string_view text)
{
    const d3dx::AssemblyResult result = d3dx::assembleShader(text);
    EXPECT_TRUE(result.succeeded) << text << "\n" << result.errors;
    return result.tokens;
}

// Decodes from a heap copy holding exactly the given tokens.
bool decodeExact(const Tokens& tokens, DecodedProgram& program, std::string& error)
{
    auto copy = std::make_unique<std::uint32_t[]>(tokens.size());
    std::copy(tokens.begin(), tokens.end(), copy.get());
    return shader::decodeProgram(tokens.empty() ? nullptr : copy.get(), tokens.size(), program, error);
}

std::string disassembleOrFail(const Tokens& tokens)
{
    std::string text, error;
    EXPECT_TRUE(shader::disassembleTokens(tokens.data(), tokens.size(), text, error)) << error;
    return text;
}

// Every instruction of the table in the program types that allow it, with
// every register kind, masks, swizzles, negation and result modifiers.
const char* const VertexCorpus = "vs_2_0\n"
                                 "def c255, -0.0, 0.1, 1e+20, 3.5\n"
                                 "dcl_position v0\n"
                                 "dcl_blendweight v1.xy\n"
                                 "dcl_blendindices v2\n"
                                 "dcl_psize v3.x\n"
                                 "dcl_texcoord7 v4\n"
                                 "dcl_binormal1 v5\n"
                                 "dcl_fog v6\n"
                                 "dcl_depth v7\n"
                                 "dcl_color1 v15\n"
                                 "nop\n"
                                 "mova a0.x, c1.y\n"
                                 "slt r0, r1.yzx, -c2\n"
                                 "sge r0, r1, r2\n"
                                 "lit r0, v1.w\n"
                                 "dst r0, r1, r2\n"
                                 "expp r0, r1.x\n"
                                 "logp r0, r1.x\n"
                                 "sincos r0.xy, r1.x, c0, c1\n"
                                 "mov oPos.xyz, v0\n"
                                 "mov oFog, r0.x\n"
                                 "mov oPts.x, r0.y\n"
                                 "mov oD1, -r11.wzyx\n"
                                 "mov oT7.yw, c3\n";

const char* const PixelCorpus = "ps_2_0\n"
                                "def c31, 1.0, 2.0, -3.0, 1e-07\n"
                                "dcl v1.xyz\n"
                                "dcl t7.xyzw\n"
                                "dcl_2d s0\n"
                                "dcl_cube s1\n"
                                "dcl_volume s15\n"
                                "texld_pp r0, t7, s0\n"
                                "texldp r1, r0, s1\n"
                                "texldb_sat r2.xz, t0, s15\n"
                                "cmp_sat_pp r0, r1, -r2.x, c3\n"
                                "dp2add r0.x, r1, r2, c0.w\n"
                                "mov oC3, v1\n"
                                "mov oDepth, r0.z\n";

// Adds every arithmetic table entry allowed in `type` with generic operands.
std::string withEveryInstruction(std::string text, shader::ShaderType type)
{
    for (const shader::OpcodeInfo& info : shader::opcodeTable()) {
        if (info.form != shader::InstructionForm::Arithmetic || !shader::allowedIn(info, type) || info.writesAddress)
            continue;
        text += std::string(info.name) + (info.hasDestination ? " r3.w" : "");
        for (int i = 0; i < info.sourceCount; ++i)
            text += (i == 0 && !info.hasDestination ? " " : ", ") +
                    std::string(info.lastSourceIsSampler && i == info.sourceCount - 1 ? "s0" : "-r4.xy");
        text += "\n";
    }
    return text;
}

TEST(Disassembler, disassemblyOfEitherProgramIsTheProgramText)
{
    EXPECT_EQ(disassembleOrFail(assembleOrFail(vertexShaderText)), std::string(vertexShaderText) + "\n");
    EXPECT_EQ(disassembleOrFail(assembleOrFail(pixelShaderText)), std::string(pixelShaderText) + "\n");
}

TEST(Disassembler, decodedProgramsHoldTheInstructionsAsWritten)
{
    DecodedProgram vertex, pixel;
    std::string error;
    ASSERT_TRUE(decodeExact(assembleOrFail(vertexShaderText), vertex, error)) << error;
    ASSERT_TRUE(decodeExact(assembleOrFail(pixelShaderText), pixel, error)) << error;
    EXPECT_EQ(vertex.type, shader::ShaderType::Vertex);
    EXPECT_EQ(pixel.type, shader::ShaderType::Pixel);
    EXPECT_EQ(vertex.major * 10 + vertex.minor, 20);
    ASSERT_EQ(vertex.instructions.size(), 30u);
    ASSERT_EQ(pixel.instructions.size(), 21u);

    const auto& def = vertex.instructions[0];
    EXPECT_EQ(def.info->opcode, shader::Opcode::Def);
    EXPECT_EQ(def.destination.type, shader::RegisterType::Const);
    EXPECT_EQ(def.destination.number, 33u);
    EXPECT_EQ(def.values, (std::array<float, 4>{1.0f, 1.0f, 1.0f, 1.0f}));
    const auto& texcoord = vertex.instructions[6];
    EXPECT_EQ(texcoord.usage, shader::DeclarationUsage::TexCoord);
    EXPECT_EQ(texcoord.usageIndex, 1u);
    EXPECT_EQ(texcoord.destination.number, 4u);
    const auto& transform = vertex.instructions[7]; // m4x4 oPos, v0, c0
    EXPECT_EQ(transform.info->opcode, shader::Opcode::M4x4);
    EXPECT_EQ(transform.destination.type, shader::RegisterType::RastOut);
    ASSERT_EQ(transform.sourceCount, 2);
    EXPECT_EQ(transform.sources[0].type, shader::RegisterType::Input);
    EXPECT_EQ(transform.sources[1].type, shader::RegisterType::Const);
    const auto& subtract = vertex.instructions[9]; // add r0, c12, -r1
    EXPECT_EQ(subtract.sources[0].number, 12u);
    EXPECT_EQ(subtract.sources[1].modifier, shader::SourceModifier::Negate);

    const auto& sampler = pixel.instructions[3]; // dcl_2d s0
    EXPECT_EQ(sampler.destination.type, shader::RegisterType::Sampler);
    EXPECT_EQ(sampler.textureType, shader::TextureType::Texture2D);
    EXPECT_EQ(pixel.instructions[4].destination.writeMask, shader::WriteX | shader::WriteY); // dcl t0.xy
    const auto& sample = pixel.instructions[8]; // texld r0, t0, s0
    EXPECT_EQ(sample.info->opcode, shader::Opcode::Texld);
    EXPECT_EQ(sample.sources[1].type, shader::RegisterType::Sampler);
    const auto& light = pixel.instructions[12]; // dp3_sat r1, r3, r7
    EXPECT_EQ(light.destination.resultModifier, shader::ResultSaturate);
    const auto& power = pixel.instructions[18]; // pow r5.w, r6.w, c5.x
    EXPECT_EQ(power.destination.writeMask, shader::WriteW);
    EXPECT_EQ(shader::swizzleComponent(power.sources[0].swizzle, 0), 3);
    EXPECT_EQ(power.sources[1].swizzle, 0x00);
}

TEST(Disassembler, reassemblingTheDisassemblyGivesIdenticalTokens)
{
    const std::string programs[] = {
        vertexShaderText,
        pixelShaderText,
        withEveryInstruction(VertexCorpus, shader::ShaderType::Vertex),
        withEveryInstruction(PixelCorpus, shader::ShaderType::Pixel),
    };
    for (const std::string& program : programs) {
        const Tokens tokens = assembleOrFail(program);
        const std::string text = disassembleOrFail(tokens);
        EXPECT_EQ(assembleOrFail(text), tokens) << text;
    }
    // Shortest forms: .xyzz prints as .xyz, a full mask not at all.
    EXPECT_EQ(disassembleOrFail(assembleOrFail("vs_2_0\nmov r0.xyzw, r1.xyzz\nmov r0.w, r1.wwww")),
              "vs_2_0\nmov r0, r1.xyz\nmov r0.w, r1.w\n");
}

TEST(Disassembler, decoderRefusesEveryTruncationOfAProgram)
{
    for (const char* text : {vertexShaderText, pixelShaderText}) {
        const Tokens tokens = assembleOrFail(text);
        for (std::size_t length = 0; length < tokens.size(); ++length) {
            DecodedProgram program;
            std::string error;
            EXPECT_FALSE(decodeExact(Tokens(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(length)),
                                     program, error))
                << length;
            EXPECT_EQ(error.rfind("token ", 0), 0u) << error;
        }
    }
}

TEST(Disassembler, decoderRefusesDamagedTokensAndNamesTheirIndex)
{
    const Tokens mov = {0xFFFF0200, 0x02000001, 0x800F0000, 0x80E40001, 0xFFFF}; // ps mov r0, r1
    const struct {
        std::size_t index;
        std::uint32_t value;
        const char* error;
    } cases[] = {
        {0, 0xFFFE0300, "token 0: unsupported version 3.0"},
        {0, 0x12340200, "token 0: not a version token"},
        {1, 0x82000001, "token 1: expected an instruction token"},
        {1, 0x1200000F, "token 1: expected an instruction token"},   // predicated
        {1, 0x0200005B, "token 1: unknown instruction"},             // dsx is not supported
        {1, 0x0203002A, "token 1: unknown instruction"},             // controls on mov
        {1, 0x0200000C, "token 1: slt is not available in a pixel program"},
        {1, 0x03000001, "token 1: mov with 3 parameter tokens"},
        {1, 0x0F000001, "token 1: mov with 15 parameter tokens"},
        {2, 0x000F0000, "token 2: expected a parameter token"},
        {2, 0x800F000C, "token 2: no such register"},                // r12
        {2, 0xC00F0000, "token 2: no such register"},                // oPos in a pixel program
        {2, 0x900F0000, "token 2: register cannot be used here"},    // writes v0
        {2, 0x80000000, "token 2: empty write mask"},
        {2, 0x804F0000, "token 2: result modifier not allowed"},     // centroid
        {2, 0x810F0000, "token 2: shift scale is not supported"},
        {3, 0x80E42001, "token 3: relative addressing"},
        {3, 0x8BE40001, "token 3: source modifier is not supported"}, // abs
        {3, 0xA0E40800, "token 3: register cannot be used here"},    // reads s0
        {4, 0x0001FFFE, "token 4: comment runs past the end"},
    };
    for (const auto& c : cases) {
        Tokens damaged = mov;
        damaged[c.index] = c.value;
        DecodedProgram program;
        std::string error;
        EXPECT_FALSE(decodeExact(damaged, program, error)) << c.error;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << "expected " << c.error << "\n got " << error;
    }

    const struct {
        Tokens tokens;
        const char* error;
    } programs[] = {
        {{0xFFFE0200, 0x02000001, 0x801F0000, 0x80E40001, 0xFFFF}, "token 2: result modifier not allowed"}, // vs _sat
        {{0xFFFE0200, 0x02000001, 0xB00F0000, 0x80E40001, 0xFFFF}, "token 2: only mova writes a0"},
        {{0xFFFE0200, 0x0200001F, 0x8000000E, 0x900F0000, 0xFFFF}, "token 2: bad input declaration"},     // usage 14
        {{0xFFFE0200, 0x0200001F, 0x80000100, 0x900F0000, 0xFFFF}, "token 2: bad input declaration"},     // reserved bit
        {{0xFFFF0200, 0x0200001F, 0x80000005, 0xB00F0000, 0xFFFF}, "token 2: bad input declaration"},     // ps usage
        {{0xFFFF0200, 0x0200001F, 0x88000000, 0xA00F0800, 0xFFFF}, "token 2: bad sampler declaration"},   // type 1
        {{0xFFFF0200, 0x0200001F, 0x90000000, 0xA0010800, 0xFFFF}, "token 3: a sampler declaration takes no write mask"},
        {{0xFFFF0200, 0x0200001F, 0x90000000, 0x900F0800, 0xFFFF}, "token 3: register cannot be used here"}, // dcl_2d oDepth
        {{0xFFFF0200, 0x05000051, 0xA0010000, 0, 0, 0, 0, 0xFFFF}, "token 2: def takes no write mask"},
        {{0xFFFF0200, 0x03000042, 0x800F0000, 0xB0E40000, 0xA0000800, 0xFFFF}, "token 4: a sampler takes no swizzle"},
        {{}, "token 0: empty token stream"},
    };
    for (const auto& p : programs) {
        DecodedProgram program;
        std::string error;
        EXPECT_FALSE(decodeExact(p.tokens, program, error)) << p.error;
        EXPECT_EQ(error.rfind(p.error, 0), 0u) << "expected " << p.error << "\n got " << error;
    }
}

TEST(Disassembler, decoderSkipsCommentsAndReadsNothingAfterTheEndToken)
{
    // A two-token comment after the version, then mov r0, r1, the end token
    // and trailing garbage.
    const Tokens tokens = {0xFFFF0200, 0x0002FFFE, 0xDEADBEEF, 0x0000FFFF, 0x02000001,
                           0x800F0000, 0x80E40001, 0x0000FFFF, 0xFFFFFFFF};
    DecodedProgram program;
    std::string error;
    ASSERT_TRUE(decodeExact(tokens, program, error)) << error;
    ASSERT_EQ(program.instructions.size(), 1u);
    EXPECT_EQ(shader::disassembleInstruction(program.instructions[0], program.type), "mov r0, r1");
    EXPECT_EQ(shader::encodeProgram(program), (Tokens{0xFFFF0200, 0x02000001, 0x800F0000, 0x80E40001, 0xFFFF}));
}

TEST(Disassembler, whateverTheDecoderAcceptsReencodesBitForBit)
{
    // Flip one or two bits of a valid program, many times over. A stream the
    // decoder accepts must encode back to exactly its own tokens up to the
    // end token: no field may be dropped or normalised on the way in.
    const Tokens originals[] = {
        assembleOrFail(withEveryInstruction(VertexCorpus, shader::ShaderType::Vertex)),
        assembleOrFail(withEveryInstruction(PixelCorpus, shader::ShaderType::Pixel)),
    };
    std::uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    int accepted = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        Tokens tokens = originals[trial % 2];
        for (int flips = 1 + trial % 2; flips > 0; --flips)
            tokens[next() % tokens.size()] ^= 1u << (next() % 32);
        DecodedProgram program;
        std::string error;
        if (!decodeExact(tokens, program, error))
            continue;
        ++accepted;
        const Tokens encoded = shader::encodeProgram(program);
        ASSERT_LE(encoded.size(), tokens.size());
        EXPECT_EQ(encoded, Tokens(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(encoded.size())))
            << "trial " << trial;
    }
    EXPECT_GT(accepted, 100); // the check above did run on damaged streams
}

} // namespace
