// The assembler against the Direct3D 9 token layout. Every expected token
// below was worked out by hand from the documented bit fields, not taken
// from the assembler: instruction = opcode | parameter count << 24;
// register = bit 31 | type bits 0-2 << 28 | type bits 3-4 << 11 | number;
// destination adds mask << 16 and result modifier << 20 (saturate 1, partial
// precision 2); source adds swizzle << 16 (x 0 ... w 3, two bits each, x
// lowest) and modifier << 24 (negate 1). Register type prefixes that follow:
// r 0x8, v 0x9, c 0xA, a/t 0xB, oPos 0xC, oD 0xD, oT 0xE in bits 28-31;
// s adds 0x800 to 0xA; oC is 0x8 plus 0x800.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "d3dx/assembler.hpp"
#include "data/shader_programs.hpp"
#include "shader/opcode_table.hpp"

namespace {

using Tokens = std::vector<std::uint32_t>;

Tokens assembleOrFail(std::string_view text)
{
    const d3dx::AssemblyResult result = d3dx::assembleShader(text);
    EXPECT_TRUE(result.succeeded) << result.errors;
    EXPECT_TRUE(result.errors.empty()) << result.errors;
    return result.tokens;
}

// Tokens [at, at + expected.size()) of a program.
Tokens slice(const Tokens& tokens, std::size_t at, std::size_t length)
{
    if (at + length > tokens.size())
        return {};
    return Tokens(tokens.begin() + static_cast<std::ptrdiff_t>(at),
                  tokens.begin() + static_cast<std::ptrdiff_t>(at + length));
}

TEST(Assembler, bothProgramTextsAssembleToTheirExpectedSizes)
{
    EXPECT_EQ(std::strlen(vertexShaderText), 500u);
    EXPECT_EQ(std::strlen(pixelShaderText), 359u);
    const Tokens vertex = assembleOrFail(std::string_view(vertexShaderText, 500));
    const Tokens pixel = assembleOrFail(std::string_view(pixelShaderText, 359));
    EXPECT_EQ(vertex.size() * sizeof(std::uint32_t), 456u);
    EXPECT_EQ(pixel.size() * sizeof(std::uint32_t), 324u);
}

TEST(Assembler, vertexProgramTokensFollowTheDocumentedLayout)
{
    const Tokens t = assembleOrFail(vertexShaderText);
    ASSERT_EQ(t.size(), 114u);
    EXPECT_EQ(t[0], 0xFFFE0200u);
    // def c33, 1.0 x4: opcode 81 with 5 parameters; c33 full mask; 1.0f bits.
    EXPECT_EQ(slice(t, 1, 6), (Tokens{0x05000051, 0xA00F0021, 0x3F800000, 0x3F800000, 0x3F800000, 0x3F800000}));
    EXPECT_EQ(slice(t, 7, 6), (Tokens{0x05000051, 0xA00F000F, 0, 0, 0, 0x3F800000}));
    // dcl: opcode 31, 2 parameters; usage in bits 0-4, index in bits 16-19.
    EXPECT_EQ(slice(t, 13, 3), (Tokens{0x0200001F, 0x80000000, 0x900F0000})); // position v0
    EXPECT_EQ(slice(t, 16, 3), (Tokens{0x0200001F, 0x80000003, 0x900F0001})); // normal v1
    EXPECT_EQ(slice(t, 19, 3), (Tokens{0x0200001F, 0x80000006, 0x900F0002})); // tangent v2
    EXPECT_EQ(slice(t, 22, 3), (Tokens{0x0200001F, 0x8000000A, 0x900F0003})); // color v3
    EXPECT_EQ(slice(t, 25, 3), (Tokens{0x0200001F, 0x80010005, 0x900F0004})); // texcoord1 v4
    // m4x4 oPos, v0, c0: one opcode-20 instruction, not four dp4s.
    EXPECT_EQ(slice(t, 28, 4), (Tokens{0x03000014, 0xC00F0000, 0x90E40000, 0xA0E40000}));
    EXPECT_EQ(slice(t, 32, 4), (Tokens{0x03000014, 0x800F0001, 0x90E40000, 0xA0E40008}));
    // add r0, c12, -r1: negate is source modifier 1 in bits 24-27.
    EXPECT_EQ(slice(t, 36, 4), (Tokens{0x03000002, 0x800F0000, 0xA0E4000C, 0x81E40001}));
    // dp3 r0.w (mask 8), then rsq r11.w, r0.w: .w replicates to .wwww = 0xFF.
    EXPECT_EQ(slice(t, 40, 4), (Tokens{0x03000008, 0x80080000, 0x80E40000, 0x80E40000}));
    EXPECT_EQ(slice(t, 44, 3), (Tokens{0x02000007, 0x8008000B, 0x80FF0000}));
    EXPECT_EQ(slice(t, 47, 4), (Tokens{0x03000005, 0x800F000B, 0x80E40000, 0x80FF000B}));
    // crs r6.xyz, r2, v2: opcode 33, mask 7.
    EXPECT_EQ(slice(t, 54, 4), (Tokens{0x03000021, 0x80070006, 0x80E40002, 0x90E40002}));
    EXPECT_EQ(slice(t, 70, 4), (Tokens{0x03000008, 0x80010005, 0x80E40002, 0x80E4000B})); // dp3 r5.x, r2, r11
    EXPECT_EQ(slice(t, 82, 4), (Tokens{0x03000002, 0x800F0006, 0xA0E4000E, 0x81E40001})); // add r6, c14, -r1
    // Outputs: oD0 type 5, oTn type 6.
    EXPECT_EQ(slice(t, 98, 3), (Tokens{0x02000001, 0xD00F0000, 0x90E40003}));
    EXPECT_EQ(slice(t, 101, 3), (Tokens{0x02000001, 0xE00F0000, 0x90E40004}));
    EXPECT_EQ(slice(t, 110, 3), (Tokens{0x02000001, 0xE00F0003, 0x90E40001}));
    EXPECT_EQ(t[113], 0x0000FFFFu);
}

TEST(Assembler, pixelProgramTokensMatchTheHandWrittenListing)
{
    const Tokens expected = {
        0xFFFF0200,
        0x05000051, 0xA00F0004, 0x00000000, 0x00000000, 0x3F800000, 0x00000000, // def c4
        0x05000051, 0xA00F0005, 0x3F000000, 0x40000000, 0x00000000, 0x00000000, // def c5
        0x0200001F, 0x80000000, 0x900F0000, // dcl v0: no usage in a pixel program
        0x0200001F, 0x90000000, 0xA00F0800, // dcl_2d s0: texture type 2 << 27; s is type 10
        0x0200001F, 0x80000000, 0xB0030000, // dcl t0.xy
        0x0200001F, 0x80000000, 0xB0070001, // dcl t1.xyz
        0x0200001F, 0x80000000, 0xB0070002,
        0x0200001F, 0x80000000, 0xB0070003,
        0x03000042, 0x800F0000, 0xB0E40000, 0xA0E40800, // texld r0, t0, s0
        0x02000001, 0x80070003, 0xB0E40001,             // mov r3.xyz, t1
        0x02000024, 0x80070004, 0xB0E40002,             // nrm r4.xyz, t2
        0x02000024, 0x80070007, 0xB0E40003,
        0x03000008, 0x801F0001, 0x80E40003, 0x80E40007, // dp3_sat r1: saturate 1 << 20
        0x03000005, 0x80070002, 0x80FF0001, 0x80E40003, // mul r2.xyz, r1.w, r3
        0x03000002, 0x80070005, 0x80E40002, 0x80E40002,
        0x03000002, 0x80070006, 0x80E40005, 0x81E40003, // add r6.xyz, r5, -r3
        0x03000008, 0x801F0005, 0x80E40006, 0x80E40004,
        0x0300000B, 0x80080006, 0x80000005, 0xA0000004, // max r6.w, r5.x, c4.x: .x = 0x00
        0x03000020, 0x80080005, 0x80FF0006, 0xA0000005, // pow r5.w, r6.w, c5.x
        0x04000004, 0x801F0002, 0x80E40001, 0x80FF0005, 0x90E40000, // mad_sat
        0x02000001, 0x800F0800, 0x80E40002, // mov oC0, r2: oC is type 8, all in bits 11-12
        0x0000FFFF,
    };
    EXPECT_EQ(assembleOrFail(pixelShaderText), expected);
}

TEST(Assembler, masksSwizzlesModifiersAndRegisterKindsEncodeAsWritten)
{
    // Mask .rg = 3, _sat_pp = 3 << 20; .xy replicates to .xyyy = 0x54;
    // .bgra = z y x w = 0xC6.
    EXPECT_EQ(assembleOrFail("ps_2_0\nmul_sat_pp r0.rg, -r1.xy, c2.bgra"),
              (Tokens{0xFFFF0200, 0x03000005, 0x80330000, 0x81540001, 0xA0C60002, 0xFFFF}));
    // texldp sets control bit 16; cube and volume are texture types 3 and 4.
    EXPECT_EQ(assembleOrFail("ps_2_0\ndcl_cube s1\ndcl_volume s2\ntexldp r0, t1, s15"),
              (Tokens{0xFFFF0200, 0x0200001F, 0x98000000, 0xA00F0801, 0x0200001F, 0xA0000000, 0xA00F0802,
                      0x03010042, 0x800F0000, 0xB0E40001, 0xA0E4080F, 0xFFFF}));
    // oFog is rasterizer output 1, oPts 2; a0 is type 3 in a vertex program.
    EXPECT_EQ(assembleOrFail("vs_2_0\nmov oFog, r0.x\nmov oPts, c255.y\nmova a0.x, r0.z"),
              (Tokens{0xFFFE0200, 0x02000001, 0xC00F0001, 0x80000000, 0x02000001, 0xC00F0002, 0xA05500FF,
                      0x0200002E, 0xB0010000, 0x80AA0000, 0xFFFF}));
    // oDepth is type 9; oC3 is type 8, number 3.
    EXPECT_EQ(assembleOrFail("ps_2_0\nmov oDepth, r0.w\nmov oC3, v1"),
              (Tokens{0xFFFF0200, 0x02000001, 0x900F0800, 0x80FF0000, 0x02000001, 0x800F0803, 0x90E40001, 0xFFFF}));
    // Usage index up to 15; blendweight is usage 1.
    EXPECT_EQ(assembleOrFail("vs_2_0\ndcl_blendweight v5.xy\ndcl_texcoord15 v15"),
              (Tokens{0xFFFE0200, 0x0200001F, 0x80000001, 0x90030005, 0x0200001F, 0x800F0005, 0x900F000F, 0xFFFF}));
    // Comments, blank lines, CR LF endings, odd spacing and upper case make no tokens.
    EXPECT_EQ(assembleOrFail("  PS_2_0 ; version\r\n\n// nothing here\n\t MOV oC0 ,R0.XyZw // out\r\n;"),
              (Tokens{0xFFFF0200, 0x02000001, 0x800F0800, 0x80E40000, 0xFFFF}));
}

TEST(Assembler, defReadsItsFloatsWithCorrectRounding)
{
    const Tokens t = assembleOrFail("vs_2_0\ndef c0, 1.0, -0.5, 0.1, 1e-3\n"
                                    "def c1, -0.0, 16777217, 3.4028235e38, +.25");
    ASSERT_EQ(t.size(), 14u);
    EXPECT_EQ(slice(t, 3, 4), (Tokens{0x3F800000, 0xBF000000, 0x3DCCCCCD, 0x3A83126F}));
    // 2^24 + 1 ties to even (2^24); the largest float stays finite.
    EXPECT_EQ(slice(t, 9, 4), (Tokens{0x80000000, 0x4B800000, 0x7F7FFFFF, 0x3E800000}));
    for (const char* bad : {"1e39", "inf", "nan", "0x10", "1.0f", "--1", "."}) {
        const std::string text = std::string("vs_2_0\ndef c0, 0, 0, 0, ") + bad;
        EXPECT_EQ(d3dx::assembleShader(text).errors, "line 2: bad number '" + std::string(bad) + "'\n") << bad;
    }
}

TEST(Assembler, badLinesAreReportedWithTheirLineNumberAndOffendingToken)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"vs_2_0\nmovv r0, r1", "line 2: unknown instruction 'movv'"},
        {"vs_2_0\nmov r0, q1", "line 2: unknown register 'q1'"},
        {"vs_2_0\nmov r0, oPos0", "line 2: unknown register 'oPos0'"},
        {"vs_2_0\n\nmov r0.yx, r1", "line 3: bad write mask 'r0.yx'"},
        {"vs_2_0\nmov r0.xxy, r1", "line 2: bad write mask 'r0.xxy'"},
        {"vs_2_0\nmov r0.xg, r1", "line 2: bad write mask 'r0.xg'"},
        {"vs_2_0\nmov r0, r1.xyzwx", "line 2: bad swizzle 'r1.xyzwx'"},
        {"vs_2_0\nmov r0, r1.", "line 2: bad swizzle 'r1.'"},
        {"vs_2_0\nadd r0, r1", "line 2: 'add' takes 3 operands, found 2"},
        {"ps_2_0\nnrm r0, r1, r2", "line 2: 'nrm' takes 2 operands, found 3"},
        {"ps_2_0\nmov oPos, r0", "line 2: register 'oPos' is not available in a pixel program"},
        {"vs_2_0\nmov r0, t0", "line 2: register 't0' is not available in a vertex program"},
        {"ps_2_0\nmov r0, c32", "line 2: register 'c32' is out of range (c0 to c31 in a pixel program)"},
        {"vs_2_0\nmov r12, r0", "line 2: register 'r12' is out of range (r0 to r11 in a vertex program)"},
        {"vs_2_0\nmov v0, r0", "line 2: register 'v0' cannot be written"},
        {"vs_2_0\nmov r0, oD0", "line 2: register 'oD0' cannot be read"},
        {"ps_2_0\nmov r0, s0", "line 2: register 's0' cannot be read"},
        {"ps_2_0\ntexld r0, t0, t1", "line 2: register 't1' cannot be used as a sampler"},
        {"ps_2_0\ntexld r0, t0, -s0", "line 2: a sampler takes no swizzle or negation: '-s0'"},
        {"vs_2_0\ntexld r0, t0, s0", "line 2: 'texld' is not available in a vertex program"},
        {"ps_2_0\nslt r0, r1, r2", "line 2: 'slt' is not available in a pixel program"},
        {"vs_2_0\ndp3_sat r0, r1, r2", "line 2: modifier '_sat' of 'dp3_sat' is not available in a vertex program"},
        {"ps_2_0\nmov_x2 r0, r1", "line 2: unknown modifier '_x2' in 'mov_x2'"},
        {"vs_2_0\nmov a0, r0", "line 2: only mova writes 'a0'"},
        {"vs_2_0\nmova r0, r1", "line 2: mova writes only a0, found 'r0'"},
        {"vs_2_0\ndcl v0", "line 2: 'dcl' needs a usage in a vertex program"},
        {"vs_2_0\ndcl_texcoord16 v0", "line 2: unknown declaration 'dcl_texcoord16'"},
        {"vs_2_0\ndcl_2d v0", "line 2: 'dcl_2d' is not available in a vertex program"},
        {"ps_2_0\ndcl_position v0", "line 2: 'dcl_position' is not available in a pixel program"},
        {"ps_2_0\ndcl s0", "line 2: sampler 's0' needs a texture type"},
        {"ps_2_0\ndcl_2d t0", "line 2: 'dcl_2d' declares a sampler, found 't0'"},
        {"ps_2_0\ndcl r0", "line 2: register 'r0' cannot be declared"},
        {"vs_2_0\ndef c0.x, 1, 1, 1, 1", "line 2: def sets a whole register, found 'c0.x'"},
        {"vs_2_0\ndef r0, 1, 1, 1, 1", "line 2: register 'r0' cannot be set by def"},
        {"vs_2_0\nmov r0 r1", "line 2: missing ',' before 'r1'"},
        {"vs_2_0\nmov r0, r1,", "line 2: missing operand after ','"},
        {"vs_2_0\nmov r0, , r1", "line 2: missing operand before ','"},
        {"mov r0, r1", "line 1: missing version line (vs_2_0 or ps_2_0) before 'mov'"},
        {"// only a comment\n", "line 1: missing version line (vs_2_0 or ps_2_0)"},
        {"", "line 1: missing version line (vs_2_0 or ps_2_0)"},
        {"vs_1_1\nmov r0, r1", "line 1: unsupported version 'vs_1_1', expected vs_2_0 or ps_2_0"},
        {"ps_2_0 r0", "line 1: unexpected 'r0' after the version"},
        {"ps_2_0\nps_2_0", "line 2: second version line 'ps_2_0'"},
    };
    for (const auto& c : cases) {
        const d3dx::AssemblyResult result = d3dx::assembleShader(c.text);
        EXPECT_FALSE(result.succeeded) << c.text;
        EXPECT_TRUE(result.tokens.empty()) << c.text;
        EXPECT_EQ(result.errors.rfind(c.error, 0), 0u) << c.text << "\n gave: " << result.errors;
    }
}

TEST(Assembler, everyBadLineIsListedOnItsOwnLine)
{
    const d3dx::AssemblyResult result =
        d3dx::assembleShader("vs_2_0\nmovv r0, r1\nmov r0, r1\nadd r0, q1, r1 // bad source\ndp4 r0, r1\n");
    EXPECT_FALSE(result.succeeded);
    EXPECT_EQ(result.errors, "line 2: unknown instruction 'movv'\n"
                             "line 4: unknown register 'q1'\n"
                             "line 5: 'dp4' takes 3 operands, found 2\n");
}

TEST(Assembler, everyTableInstructionAssemblesWhereAllowedAndIsRefusedElsewhere)
{
    for (const shader::OpcodeInfo& info : shader::opcodeTable()) {
        if (info.form != shader::InstructionForm::Arithmetic)
            continue;
        std::string line(info.name);
        std::string separator = " ";
        if (info.hasDestination) {
            line += separator + (info.writesAddress ? "a0" : "r0");
            separator = ", ";
        }
        for (int i = 0; i < info.sourceCount; ++i, separator = ", ")
            line += separator + (info.lastSourceIsSampler && i == info.sourceCount - 1 ? "s0" : "r1");
        for (shader::ShaderType type : {shader::ShaderType::Vertex, shader::ShaderType::Pixel}) {
            const std::string text = (type == shader::ShaderType::Vertex ? "vs_2_0\n" : "ps_2_0\n") + line;
            const d3dx::AssemblyResult result = d3dx::assembleShader(text);
            if (!shader::allowedIn(info, type)) {
                EXPECT_NE(result.errors.find("is not available in a"), std::string::npos) << text;
                continue;
            }
            ASSERT_TRUE(result.succeeded) << text << "\n" << result.errors;
            const std::size_t parameters = (info.hasDestination ? 1u : 0u) + static_cast<std::size_t>(info.sourceCount);
            ASSERT_EQ(result.tokens.size(), 3 + parameters) << text;
            EXPECT_EQ(result.tokens[1], static_cast<std::uint32_t>(info.opcode) | info.controls | parameters << 24) << text;
        }
    }
}

} // namespace

TEST(Assembler, refusesProgramsPastTheInstructionSlotsOfShaderModelTwo)
{
    auto program = [](const char* version, const char* line, int count) {
        const bool vertex = std::string(version) == "vs_2_0";
        std::string text = std::string(version) + (vertex ? "\ndcl_position v0\n" : "\ndcl t0\ndcl_2d s0\n");
        for (int i = 0; i < count; ++i) {
            text += line;
        }
        return d3dx::assembleShader(text);
    };
    EXPECT_TRUE(program("vs_2_0", "mov r0, c0\n", 256).succeeded);
    EXPECT_TRUE(program("vs_2_0", "m4x4 r0, r1, c0\n", 64).succeeded);
    const d3dx::AssemblyResult tooLong = program("vs_2_0", "m4x4 r0, r1, c0\n", 65); // 260 slots
    EXPECT_FALSE(tooLong.succeeded);
    EXPECT_NE(tooLong.errors.find("line 67: more than 256 instruction slots"), std::string::npos) << tooLong.errors;
    EXPECT_EQ(std::count(tooLong.errors.begin(), tooLong.errors.end(), '\n'), 1); // said once
    EXPECT_TRUE(program("ps_2_0", "add r0, r0, r0\n", 64).succeeded);
    EXPECT_FALSE(program("ps_2_0", "add r0, r0, r0\n", 65).succeeded);
    EXPECT_TRUE(program("ps_2_0", "texld r0, t0, s0\n", 32).succeeded); // texture slots count apart
    EXPECT_FALSE(program("ps_2_0", "texld r0, t0, s0\n", 33).succeeded);
}
