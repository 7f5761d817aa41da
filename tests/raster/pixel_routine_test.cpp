// The compiled pixel routine against the shader machine: each executed
// pixel opcode with source modifiers, swizzles, masks and _sat over a table
// of edge values, texture sampling with wrapping, and the renderer's own
// program, compared as the A8R8G8B8 colours both hand the rasterizer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "d3dx/assembler.hpp"
#include "support/assembled_program.hpp"
#include "support/pixel_opcode_cases.hpp"
#include "data/shader_programs.hpp"
#include "raster/pixel_stage.hpp"

using namespace raster;
using shader::CompiledProgram;
using shader::ProgramAnalysis;
using shader::RoutineWidth;
using shader::SamplerTexture;
namespace kernel = shader::kernel;

namespace {

constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

const float EdgeValues[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 0.25f, 0.999f, 1.001f, -2.25f, 3.7f,
                            1e-30f, 1e30f, 1e-40f, Inf, -Inf, NaN, 0.00196f, 0.998f, 2.0f, 127.5f / 255.0f};
constexpr int ValueCount = sizeof EdgeValues / sizeof EdgeValues[0];

// A 5 x 3 texture (odd sizes: the wrap shows) with a padded row pitch.
const std::vector<std::uint32_t>& texels()
{
    static const std::vector<std::uint32_t> t = [] {
        std::vector<std::uint32_t> v(7 * 3);
        std::mt19937 random(9);
        for (std::uint32_t& texel : v) {
            texel = static_cast<std::uint32_t>(random());
        }
        return v;
    }();
    return t;
}

BatchShader shaderFor(const std::shared_ptr<ProgramAnalysis>& program, bool compiled,
                      const std::vector<float>& constants, RoutineWidth width)
{
    PixelStageInput input;
    input.program = program;
    if (compiled) {
        auto routine = std::make_shared<CompiledProgram>(program->whole, program->type, width);
        EXPECT_TRUE(routine->compiled());
        input.routine = routine;
    }
    input.constants = constants;
    shader::applyDefinitions(*program, input.constants.data(), 32);
    input.samplers[0] = SamplerTexture{texels().data(), 5, 3, 7};
    return makeBatchShader(std::move(input));
}

// The varying components the routine says it reads (the rasterizer leaves
// the others uninterpolated).
std::vector<std::uint8_t> componentsRead(const std::shared_ptr<ProgramAnalysis>& program, RoutineWidth width)
{
    PixelStageInput input;
    input.program = program;
    input.routine = std::make_shared<CompiledProgram>(program->whole, program->type, width);
    std::vector<std::uint8_t> components(MaxVaryings, 0xF);
    readVaryingComponents(input, components.data());
    return components;
}

// Batches of random edge values through both; every colour equal. The
// routine's batch holds other values (NaN, huge) in the components it says
// it never reads, as the rasterizer leaves them.
void expectRoutineMatchesMachine(const std::string& text, const std::string& what)
{
    const auto program = loadAssembledProgram(text);
    std::mt19937 random(static_cast<std::uint32_t>(text.size()));
    std::uniform_int_distribution<int> pick(0, ValueCount + 9);
    std::uniform_real_distribution<float> plain(-3.0f, 3.0f);
    auto value = [&] {
        const int k = pick(random);
        return k < ValueCount ? EdgeValues[k] : plain(random);
    };
    std::vector<float> constants(4 * 32);
    for (float& c : constants) {
        c = value();
    }
    std::vector<RoutineWidth> widths = {RoutineWidth::Four};
    if (shader::hasEightLaneRoutine()) {
        widths.push_back(RoutineWidth::Eight);
    }
    for (RoutineWidth width : widths) {
        const BatchShader machine = shaderFor(program, false, constants, width);
        const BatchShader routine = shaderFor(program, true, constants, width);
        for (int round = 0; round < 40; ++round) {
            PixelBatch batch{};
            batch.count = 1 + round % BatchLanes;
            for (auto& varying : batch.varyings) {
                for (auto& component : varying) {
                    for (float& lane : component) {
                        lane = value();
                    }
                }
            }
            PixelBatch uninterpolated = batch;
            const std::vector<std::uint8_t> read = componentsRead(program, width);
            for (std::int32_t v = 0; v < MaxVaryings; ++v) {
                for (std::int32_t c = 0; c < 4; ++c) {
                    if ((read[static_cast<std::size_t>(v)] & (1u << c)) == 0) {
                        for (std::int32_t lane = 0; lane < BatchLanes; ++lane) {
                            uninterpolated.varyings[v][c][lane] = lane % 2 == 0 ? NaN : -1e30f;
                        }
                    }
                }
            }
            std::uint32_t expected[BatchLanes], actual[BatchLanes];
            machine(batch, expected);
            routine(uninterpolated, actual);
            for (std::int32_t lane = 0; lane < batch.count; ++lane) {
                ASSERT_EQ(expected[lane], actual[lane]) << what << ": round " << round << " lane " << lane;
            }
        }
    }
}

} // namespace

TEST(PixelRoutine, everyOpcodeWithModifiersSwizzlesMasksAndSaturationMatchesTheMachine)
{
    for (const std::string& line : pixelOpcodeLines()) {
        const std::string text = pixelOpcodeCase(line);
        const d3dx::AssemblyResult assembled = d3dx::assembleShader(text.c_str());
        ASSERT_TRUE(assembled.succeeded) << line << ": " << assembled.errors;
        expectRoutineMatchesMachine(text, line);
    }
}

TEST(PixelRoutine, theRenderersProgramAndTemporariesReadBeforeWrittenMatchTheMachine)
{
    expectRoutineMatchesMachine(pixelShaderText, "renderer program");
    // r1 and r2.w never written before they are read: both read 0; oC0.w
    // never written reads 0.
    expectRoutineMatchesMachine(std::string(PixelCaseHeader) +
                                    "add r0, r1, t0\n"
                                    "mul r2.xyz, r0, v0\n"
                                    "mad r3, r2, c0, r2.w\n"
                                    "texld r4, r3, s0\n"
                                    "mul r0.xyz, r4, v1\n"
                                    "mov oC0.xyz, r0\n",
                                "reads before writes");
}

TEST(PixelRoutine, resultsThatNothingReadsAreLeftOutWithTheInputsOnlyTheyRead)
{
    using shader::RegisterType;
    // The renderer's program samples t0 into r0 and never reads r0.
    const auto renderer = loadAssembledProgram(pixelShaderText);
    const CompiledProgram compiled(renderer->whole, renderer->type);
    EXPECT_EQ(shader::inputComponentsRead(renderer->whole, RegisterType::Texture, 0), 0);
    EXPECT_EQ(shader::inputComponentsRead(renderer->whole, RegisterType::Texture, 1), 0x7);
    EXPECT_EQ(compiled.slot(RegisterType::Temp, 0), ~0u);
    // A component is left out only where every later read misses it: r1.y
    // is overwritten before it is read, r1.z reaches the output through r2.
    const std::string partial = std::string(PixelCaseHeader) +
                                "dp3 r1, t0, t1\n"
                                "texld r3, v1, s0\n"
                                "mov r1.y, v0.x\n"
                                "mul r2, r1.xyzz, r3.w\n"
                                "mov oC0, r2\n";
    const auto partly = loadAssembledProgram(partial);
    EXPECT_EQ(shader::inputComponentsRead(partly->whole, RegisterType::Input, 1), 0x3);
    EXPECT_EQ(shader::inputComponentsRead(partly->whole, RegisterType::Input, 0), 0x1);
    expectRoutineMatchesMachine(partial, "partly read results");
}

// powf(x, 0.5) takes a shorter way for most x; every float it may meet
// (a spread of bit patterns, each a different root) gives the library's
// own result, in both routines.
TEST(PixelRoutine, squareRootPowersAreTheLibrarysForEveryBase)
{
    using shader::RegisterType;
    const auto program = loadAssembledProgram("ps_2_0\ndef c0, 0.5, 0, 0, 0\ndcl t0.x\npow r0, t0.x, c0.x\n"
                                              "mov oC0, r0\n");
    std::vector<RoutineWidth> widths = {RoutineWidth::Four};
    if (shader::hasEightLaneRoutine()) {
        widths.push_back(RoutineWidth::Eight);
    }
    for (RoutineWidth width : widths) {
        const CompiledProgram compiled(program->whole, program->type, width);
        ASSERT_TRUE(compiled.compiled());
        std::vector<float> file(compiled.fileSize());
        const float snapshot[4] = {0.5f, 0.0f, 0.0f, 0.0f};
        compiled.prepareFile(file.data(), snapshot);
        float* base = file.data() + compiled.slot(RegisterType::Texture, 0);
        const float* result = file.data() + compiled.slot(RegisterType::ColorOut, 0);
        std::uint32_t pattern = 1;
        std::int64_t differences = 0;
        for (bool first = true; pattern < 0x7F800000u; first = false) {
            for (std::int32_t lane = 0; lane < shader::BatchLanes; ++lane, pattern += 61) {
                std::memcpy(&base[lane], &pattern, sizeof pattern);
            }
            if (first) { // and what the library answers alone
                const float special[] = {0.0f, -0.0f, Inf, -Inf, NaN, -4.0f, -1e-40f};
                std::copy(std::begin(special), std::end(special), base + 3);
            }
            compiled.run(file.data(), shader::BatchLanes, nullptr);
            for (std::int32_t lane = 0; lane < shader::BatchLanes; ++lane) {
                const float expected = std::pow(std::fabs(base[lane]), 0.5f);
                differences += std::memcmp(&expected, &result[lane], sizeof expected) != 0 ? 1 : 0;
            }
        }
        EXPECT_EQ(differences, 0);
    }
}

// What a pixel program reads without declaring reads 0 on the machine as in
// the routines, whatever program ran before on the same thread (one that
// fed t2 with 0.5); and all ten inputs a program can declare are fed.
TEST(PixelRoutine, undeclaredInputsReadZeroAndAllTenDeclaredInputsAreFed)
{
    std::vector<RoutineWidth> widths = {RoutineWidth::Four};
    if (shader::hasEightLaneRoutine()) {
        widths.push_back(RoutineWidth::Eight);
    }
    const std::vector<float> constants(4 * 32, 0.0f);
    const auto feeder = loadAssembledProgram("ps_2_0\ndcl t0\ndcl t2\nadd r0, t0, t2\nmov oC0, r0\n");
    const auto reader = loadAssembledProgram("ps_2_0\ndcl t0\nadd r0, t0, t2\nmov oC0, r0\n");
    ASSERT_EQ(reader->varyings.size(), 1u);
    for (RoutineWidth width : widths) {
        PixelBatch batch{};
        batch.count = BatchLanes;
        for (int c = 0; c < 4; ++c) {
            for (int lane = 0; lane < BatchLanes; ++lane) {
                batch.varyings[0][c][lane] = 0.25f;
                batch.varyings[1][c][lane] = 0.5f; // t2, for the feeder
            }
        }
        std::uint32_t colours[BatchLanes], machine[BatchLanes], routine[BatchLanes];
        shaderFor(feeder, false, constants, width)(batch, colours);
        EXPECT_EQ(colours[0], 0xBFBFBFBFu); // 0.75
        shaderFor(reader, false, constants, width)(batch, machine);
        shaderFor(reader, true, constants, width)(batch, routine);
        for (int lane = 0; lane < BatchLanes; ++lane) {
            EXPECT_EQ(machine[lane], 0x40404040u) << lane; // 0.25 + 0
            EXPECT_EQ(routine[lane], machine[lane]) << lane;
        }
    }

    // v0, v1 and t0 - t7, each adding its own part of the colour.
    std::string every = "ps_2_0\ndcl v0\ndcl v1\n";
    for (int t = 0; t < 8; ++t) {
        every += "dcl t" + std::to_string(t) + "\n";
    }
    every += "add r0, v0, v1\n";
    for (int t = 0; t < 8; ++t) {
        every += "add r0, r0, t" + std::to_string(t) + "\n";
    }
    every += "mov oC0, r0\n";
    const auto all = loadAssembledProgram(every);
    ASSERT_EQ(all->varyings.size(), 10u);
    EXPECT_TRUE(all->varyings[1].colour);   // v1
    EXPECT_EQ(all->varyings[9].number, 7u);         // t7, the tenth
    for (RoutineWidth width : widths) {
        PixelBatch batch{};
        batch.count = BatchLanes;
        for (int v = 0; v < MaxVaryings; ++v) {
            for (int c = 0; c < 4; ++c) {
                for (int lane = 0; lane < BatchLanes; ++lane) {
                    batch.varyings[v][c][lane] = v == 9 ? 0.5f : 0.0f; // only t7
                }
            }
        }
        std::uint32_t machine[BatchLanes], routine[BatchLanes];
        shaderFor(all, false, constants, width)(batch, machine);
        shaderFor(all, true, constants, width)(batch, routine);
        EXPECT_EQ(machine[0], 0x80808080u); // t7 reached the colour
        EXPECT_EQ(routine[0], machine[0]);
    }
}
