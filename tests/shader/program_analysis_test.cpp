// The analysis every executor reads: the demo's two programs and programs
// with matrix macros, masks, swizzles, defs and dead instructions give the
// expected reads, live components, varyings and position slice; programs
// that read past a register file, or hold what no executor runs, are
// refused.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "d3dx/assembler.hpp"
#include "data/shader_programs.hpp"
#include "shader/opcode_table.hpp"
#include "shader/program_analysis.hpp"
#include "support/assembled_program.hpp"

using shader::ProgramAnalysis;
using shader::ProgramFault;
using shader::RegisterType;

namespace {

ProgramFault analyse(const std::string& text, ProgramAnalysis& program, std::string& error)
{
    const d3dx::AssemblyResult code = d3dx::assembleShader(text.c_str());
    EXPECT_TRUE(code.succeeded) << code.errors;
    shader::DecodedProgram decoded;
    EXPECT_TRUE(shader::decodeProgram(code.tokens.data(), code.tokens.size(), decoded, error)) << error;
    return shader::analyzeProgram(decoded, program, error);
}

ProgramAnalysis analysed(const std::string& text)
{
    ProgramAnalysis program;
    std::string error;
    EXPECT_EQ(analyse(text, program, error), ProgramFault::None) << error;
    return program;
}

// "r3.xyz v0.w" style listing of registers and their components.
std::string listed(const std::vector<shader::RegisterComponents>& registers)
{
    std::string text;
    for (const shader::RegisterComponents& r : registers) {
        const char* name = r.type == RegisterType::Temp ? "r" : r.type == RegisterType::Input ? "v" : "t";
        text += (text.empty() ? "" : " ") + std::string(name) + std::to_string(r.number) + ".";
        for (int c = 0; c < 4; ++c) {
            text += (r.components & (1 << c)) != 0 ? "xyzw"[c] : '_';
        }
    }
    return text;
}

std::string masks(const shader::ProgramPart& part)
{
    std::string text;
    for (const shader::ExecutedInstruction& step : part.code) {
        text += std::string(text.empty() ? "" : " ") + std::string(step.instruction.info->name) + ":" +
                std::to_string(step.liveMask);
    }
    return text;
}

} // namespace

TEST(ProgramAnalysis, theRenderersVertexProgram)
{
    const ProgramAnalysis vs = analysed(vertexShaderText);
    ASSERT_EQ(vs.inputs.size(), 5u);
    EXPECT_EQ(vs.inputs[3].usage, shader::DeclarationUsage::Color);
    EXPECT_EQ(vs.inputs[4].usage, shader::DeclarationUsage::TexCoord);
    EXPECT_EQ(vs.inputs[4].usageIndex, 1u);
    ASSERT_EQ(vs.definitions.size(), 2u); // c33 and c15
    EXPECT_EQ(vs.definitions[1].number, 15u);
    // The three matrices' rows, the eye, and c14 which nothing writes.
    EXPECT_EQ(vs.constantsRead, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14}));
    EXPECT_EQ(vs.temporaryCount, 12u); // up to r11
    // crs writes r6.xyz and m4x4 r3, r6 reads r6.w; oT1 and oT2 take the w
    // of r5 and r7, of which only xyz are written: all read 0.
    EXPECT_EQ(listed(vs.whole.temporariesReadFirst), "r6.___w r5.___w r7.___w");
    EXPECT_TRUE(vs.undeclaredInputsRead.empty());
    // The position slice is the one m4x4, reading v0 and c0 - c3 alone.
    ASSERT_EQ(vs.positionSlice.code.size(), 1u);
    EXPECT_EQ(vs.positionSlice.code[0].instruction.info->name, "m4x4");
    EXPECT_EQ(vs.positionSlice.constantsRead, (std::vector<std::uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(listed(vs.positionSlice.inputsRead), "v0.xyzw");
    // Its error is bounded: four products summed, four roundings.
    EXPECT_TRUE(vs.positionErrorBounded);
    EXPECT_EQ(vs.positionRoundings, 4u);
    // And it is one affine map of v0: component i is v0 . c_i.
    EXPECT_TRUE(vs.affinePosition.found);
    EXPECT_EQ(vs.affinePosition.input, 0u);
    EXPECT_EQ(vs.affinePosition.rows, (std::array<std::uint32_t, 4>{0, 1, 2, 3}));
}

// A position is affine when it is dp4s of one input with constant rows,
// each component written once (an m4x4 is four); anything else, though it
// may be affine too, is left to the per-vertex test.
TEST(ProgramAnalysis, affinePositionsAreDotProductsOfOneInputWithConstantRows)
{
    const std::string head = "vs_2_0\ndcl_position v0\ndcl_normal v1\n";
    const ProgramAnalysis split = analysed(head + "dp4 oPos.x, v0, c7\ndp4 oPos.yw, v0, c3\ndp4 oPos.z, v0, c9\n");
    EXPECT_TRUE(split.affinePosition.found);
    EXPECT_EQ(split.affinePosition.rows, (std::array<std::uint32_t, 4>{7, 3, 9, 3}));
    // A component overwritten later counts once: the first write is dead.
    EXPECT_TRUE(analysed(head + "m4x4 oPos, v0, c0\ndp4 oPos.z, v0, c8\n").affinePosition.found);
    EXPECT_EQ(analysed(head + "m4x4 oPos, v0, c0\ndp4 oPos.z, v0, c8\n").affinePosition.rows[2], 8u);
    for (const char* body : {"mov oPos, v0\n",                              // no constants: not the form
                             "m4x4 oPos, v0.yxzw, c0\n",                    // a swizzled input
                             "m4x4 oPos, -v0, c0\n",                        // a modified input
                             "m4x4 r0, v0, c0\nmov oPos, r0\n",            // through a temporary
                             "dp4 oPos.xy, v0, c0\ndp4 oPos.zw, v1, c1\n", // two inputs
                             "dp4 oPos.xyz, v0, c0\n",                      // w never written
                             "m4x4 oPos, v0, r1\n",                         // rows not constant
                             "mul oPos, v0, c0\n"}) {                       // a product per component
        EXPECT_FALSE(analysed(head + body).affinePosition.found) << body;
    }
}

TEST(ProgramAnalysis, theRenderersPixelProgram)
{
    const ProgramAnalysis ps = analysed(pixelShaderText);
    ASSERT_EQ(ps.varyings.size(), 5u); // v0, then t0 - t3, in declaration order
    EXPECT_TRUE(ps.varyings[0].colour);
    EXPECT_FALSE(ps.varyings[1].colour);
    EXPECT_EQ(ps.varyings[4].number, 3u);
    EXPECT_EQ(ps.samplersRead, 1u);
    EXPECT_EQ(ps.constantsRead, (std::vector<std::uint32_t>{4, 5})); // both defs
    // The sample into r0 is never read: left out, and t0 with it.
    EXPECT_EQ(ps.instructions.size(), 13u);
    EXPECT_EQ(ps.whole.code.size(), 12u);
    EXPECT_EQ(listed(ps.whole.inputsRead), "t1.xyz_ t2.xyz_ t3.xyz_ v0.xyzw");
    EXPECT_EQ(shader::inputComponentsRead(ps.whole, RegisterType::Texture, 0), 0);
    // dp3_sat r5 is read only as r5.x; max writes only r6.w.
    EXPECT_EQ(masks(ps.whole), "mov:7 nrm:7 nrm:7 dp3:15 mul:7 add:7 add:7 dp3:1 max:8 pow:8 mad:15 mov:15");
}

TEST(ProgramAnalysis, matrixRowsMasksSwizzlesAndDeadInstructions)
{
    const ProgramAnalysis vs = analysed("vs_2_0\ndcl_position v0\ndcl_normal v1\n"
                                        "m3x4 r1, v0, r8\n"      // reads r8 - r11 before they are written
                                        "mov r2, v1.wzyx\n"       // only r2.y reaches oT0
                                        "mov r3, v1\n"            // dead: r3 is never read
                                        "m4x3 oPos.xyz, r1, c20\n" // rows c20 - c22
                                        "mov oPos.w, v0.x\n"
                                        "mov oT0.y, r2\n");
    EXPECT_EQ(vs.temporaryCount, 12u); // r8 + four rows
    EXPECT_EQ(listed(vs.whole.temporariesReadFirst), "r8.xyz_ r9.xyz_ r10.xyz_ r11.xyz_");
    EXPECT_EQ(vs.constantsRead, (std::vector<std::uint32_t>{20, 21, 22}));
    EXPECT_EQ(masks(vs.whole), "m3x4:15 mov:2 m4x3:7 mov:8 mov:2");
    // v1.wzyx's y is v1.z; v0 is read by m3x4 (xyz) and as oPos.w (x).
    EXPECT_EQ(listed(vs.whole.inputsRead), "v0.xyz_ v1.__z_");
    // The slice leaves out what reaches only oT0.
    EXPECT_EQ(masks(vs.positionSlice), "m3x4:15 m4x3:7 mov:8");
    EXPECT_EQ(listed(vs.positionSlice.inputsRead), "v0.xyz_");
    // m3x4: a product and two sums (3); m4x3 of that: 3 + 1, and three sums.
    EXPECT_TRUE(vs.positionErrorBounded);
    EXPECT_EQ(vs.positionRoundings, 7u);
}

TEST(ProgramAnalysis, undeclaredInputsDefsAndTheMagnitudeSlice)
{
    const ProgramAnalysis vs = analysed("vs_2_0\ndef c5, 1, 2, 3, 4\ndef c5, 5, 6, 7, 8\ndcl_position v0\n"
                                        "sub r0, v0, -v3\n"        // v3 undeclared: reads 0
                                        "mad r1, r0, c5, c6.x\n"
                                        "min oPos, r1, -r0\n");
    EXPECT_EQ(listed(vs.undeclaredInputsRead), "v3.xyzw");
    EXPECT_EQ(listed(vs.positionSlice.undeclaredInputsRead), "v3.xyzw");
    ASSERT_NE(shader::definitionOf(vs, 5), nullptr);
    EXPECT_EQ(shader::definitionOf(vs, 5)->values[0], 5.0f); // the last def stands
    EXPECT_TRUE(shader::definesAnyIn(vs, 4, 2));
    EXPECT_FALSE(shader::definesAnyIn(vs, 6, 10));
    // sub: 1 rounding; mad: 1 + 0 + 1, plus the sum: 3; min adds none.
    EXPECT_TRUE(vs.positionErrorBounded);
    EXPECT_EQ(vs.positionRoundings, 3u);
    // Over magnitudes: a sum, absolute operands, max for min.
    ASSERT_EQ(vs.positionMagnitude.code.size(), 3u);
    EXPECT_EQ(vs.positionMagnitude.code[0].instruction.info->name, "add");
    EXPECT_EQ(vs.positionMagnitude.code[2].instruction.info->name, "max");
    for (const shader::ExecutedInstruction& step : vs.positionMagnitude.code) {
        for (int s = 0; s < step.instruction.sourceCount; ++s) {
            EXPECT_EQ(step.instruction.sources[s].modifier, shader::SourceModifier::Abs);
        }
    }
    // A reciprocal in the slice: its error has no bound by magnitude.
    EXPECT_FALSE(analysed("vs_2_0\ndcl_position v0\nrcp r0.w, v0.w\nmul oPos, v0, r0.w\n").positionErrorBounded);
}

TEST(ProgramAnalysis, readsPastARegisterFileAndUnexecutedInstructionsAreRefused)
{
    ProgramAnalysis program;
    std::string error;
    // Tokens whose matrix rows run one register past the file (the
    // assembler refuses the texts).
    const auto analyseMoved = [&](const std::string& text) {
        const std::vector<std::uint32_t> tokens = tokensWithRowsMoved(text, 1);
        shader::DecodedProgram decoded;
        EXPECT_TRUE(shader::decodeProgram(tokens.data(), tokens.size(), decoded, error)) << error;
        return shader::analyzeProgram(decoded, program, error);
    };
    EXPECT_EQ(analyseMoved("vs_2_0\ndcl_position v0\nm4x4 oPos, v0, v12\n"), ProgramFault::ReadsPastRegisters);
    EXPECT_NE(error.find("'m4x4' reads v16"), std::string::npos) << error;
    EXPECT_EQ(analyseMoved("ps_2_0\ndcl t4\nm4x4 r0, c0, t4\nmov oC0, r0\n"), ProgramFault::ReadsPastRegisters);
    EXPECT_EQ(analyseMoved("ps_2_0\ndcl t0\nm4x4 r0, t0, c28\nmov oC0, r0\n"), ProgramFault::ReadsPastRegisters);
    EXPECT_NE(error.find("c32"), std::string::npos) << error;
    EXPECT_EQ(analyseMoved("vs_2_0\ndcl_position v0\nm3x3 r0.xyz, v0, r9\nmov oPos, r0\n"),
              ProgramFault::ReadsPastRegisters); // r12 does not exist
    // The last rows there are do.
    EXPECT_EQ(analyse("vs_2_0\ndcl_position v0\nm4x4 oPos, v0, c252\n", program, error), ProgramFault::None);
    EXPECT_EQ(analyse("ps_2_0\ndcl t0\nm4x4 r0, t0, c28\nmov oC0, r0\n", program, error), ProgramFault::None);

    // sincos decodes, but nothing runs it.
    shader::DecodedProgram decoded;
    decoded.type = shader::ShaderType::Vertex;
    shader::DecodedInstruction sincos;
    sincos.info = shader::findOpcode("sincos");
    ASSERT_NE(sincos.info, nullptr);
    sincos.destination.writeMask = shader::WriteX | shader::WriteY;
    sincos.sourceCount = sincos.info->sourceCount;
    decoded.instructions.push_back(sincos);
    EXPECT_EQ(shader::analyzeProgram(decoded, program, error), ProgramFault::NotExecuted);
    EXPECT_NE(error.find("sincos"), std::string::npos) << error;
}

TEST(ProgramAnalysis, whetherDefsFallInARangeIsTheirListsAnswerAcrossEveryWordEdge)
{
    // The bits the front end asks at every constant upload, against the
    // list of defs itself, for every range of registers.
    const ProgramAnalysis program = analysed("vs_2_0\ndef c0, 1, 2, 3, 4\ndef c63, 1, 1, 1, 1\ndef c64, 0, 0, 0, 0\n"
                                             "def c130, 5, 5, 5, 5\ndef c255, 9, 9, 9, 9\ndcl_position v0\nmov oPos, v0");
    for (std::uint32_t start = 0; start <= 256; ++start) {
        for (std::uint32_t count = 0; count <= 256 - start; count += (count < 70 ? 1 : 37)) {
            bool listed = false;
            for (const shader::Definition& d : program.definitions) {
                listed = listed || (d.number >= start && d.number - start < count);
            }
            ASSERT_EQ(shader::definesAnyIn(program, start, count), listed) << start << " + " << count;
        }
    }
    EXPECT_FALSE(shader::definesAnyIn(program, 256, 0xFFFFFFFFu)); // past the file, and no overflow
}
