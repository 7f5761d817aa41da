// The shader machine running the assembled programs: the renderer's two
// programs on hand-made inputs against their formulas, texture sampling,
// and the edge cases of the arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "d3dx/assembler.hpp"
#include "data/shader_programs.hpp"
#include "shader/shader_machine.hpp"

using shader::BatchLanes;
using shader::ProgramAnalysis;
using shader::Register;
using shader::ShaderMachine;

namespace {

ProgramAnalysis loadProgram(const char* text)
{
    const d3dx::AssemblyResult assembled = d3dx::assembleShader(text);
    EXPECT_TRUE(assembled.succeeded) << assembled.errors;
    ProgramAnalysis program;
    std::string error;
    EXPECT_TRUE(shader::analyzeTokens(assembled.tokens.data(), assembled.tokens.size(), program, error)) << error;
    return program;
}

void setLane(Register& r, int lane, float x, float y, float z, float w)
{
    r.c[0][lane] = x;
    r.c[1][lane] = y;
    r.c[2][lane] = z;
    r.c[3][lane] = w;
}

struct V4 {
    double x, y, z, w;
};

double dot3(V4 a, V4 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

V4 lane(const Register& r, int l)
{
    return {r.c[0][l], r.c[1][l], r.c[2][l], r.c[3][l]};
}

void expectNear(V4 actual, V4 expected, double tolerance, const char* what)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
    EXPECT_NEAR(actual.w, expected.w, tolerance) << what;
}

} // namespace

TEST(ShaderMachine, vertexProgramComputesPositionAndTheLightingVectors)
{
    const ProgramAnalysis program = loadProgram(vertexShaderText);
    auto machine = std::make_unique<ShaderMachine>();
    std::vector<float> constants(4 * 256, 0.0f);
    // c0-c3: a clip matrix's rows; c4-c7: an inverse world (rotation about
    // z by 90 degrees and a translation); c8-c11: the world's rows; c12 the eye.
    const float clip[16] = {2, 0, 0, 1, 0, 3, 0, 2, 0, 0, 1, -0.5f, 0, 0, 1, 0};
    const float inverse[16] = {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, -2, 1, -3, 1};
    const float world[16] = {0, 1, 0, 1, -1, 0, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1};
    std::copy(clip, clip + 16, constants.begin());
    std::copy(inverse, inverse + 16, constants.begin() + 16);
    std::copy(world, world + 16, constants.begin() + 32);
    const float eye[4] = {4, 5, 6, 0};
    std::copy(eye, eye + 4, constants.begin() + 48);
    shader::applyDefinitions(program, constants.data(), 256);
    EXPECT_EQ(constants[4 * 15 + 3], 1.0f); // def c15
    machine->constants = constants.data();
    for (int l = 0; l < BatchLanes; ++l) {
        setLane(machine->inputs[0], l, 1.0f + l, 2.0f, -1.0f, 1.0f); // position, w defaulted to 1
        setLane(machine->inputs[1], l, 0.0f, 0.0f, 1.0f, 1.0f);      // normal
        setLane(machine->inputs[2], l, 1.0f, 0.0f, 0.0f, 1.0f);      // tangent
        setLane(machine->inputs[3], l, 0.25f, 0.5f, 0.75f, 1.0f);    // colour
        setLane(machine->inputs[4], l, 0.125f, 0.875f, 0.0f, 1.0f);  // texture coordinate
    }
    shader::runProgram(program, *machine);
    for (int l = 0; l < BatchLanes; l += 5) {
        const V4 p = {1.0 + l, 2, -1, 1};
        auto row = [&](const float* m, int r) { return m[4 * r] * p.x + m[4 * r + 1] * p.y + m[4 * r + 2] * p.z + m[4 * r + 3] * p.w; };
        expectNear(lane(machine->position, l), {row(clip, 0), row(clip, 1), row(clip, 2), row(clip, 3)}, 1e-5, "oPos");
        const V4 worldPosition = {row(world, 0), row(world, 1), row(world, 2), row(world, 3)};
        const V4 toEye = {eye[0] - worldPosition.x, eye[1] - worldPosition.y, eye[2] - worldPosition.z, 0};
        const double length = std::sqrt(dot3(toEye, toEye));
        const V4 unitToEye = {toEye.x / length, toEye.y / length, toEye.z / length, 0};
        // Tangent and normal through the inverse, as m4x4 of (t, 1) and (n, 1).
        const V4 tangent = {inverse[0] + inverse[3], inverse[4] + inverse[7], inverse[8] + inverse[11], 0};
        const V4 normal = {inverse[2] + inverse[3], inverse[6] + inverse[7], inverse[10] + inverse[11], 0};
        // The second row is the tangent crossed with itself: zero.
        expectNear(lane(machine->texCoordOutputs[1], l), {dot3(tangent, unitToEye), 0, dot3(normal, unitToEye), 0}, 1e-5, "oT1");
        const V4 toOrigin = {-worldPosition.x, -worldPosition.y, -worldPosition.z, 0};
        expectNear(lane(machine->texCoordOutputs[2], l), {dot3(tangent, toOrigin), 0, dot3(normal, toOrigin), 0}, 1e-4, "oT2");
        expectNear(lane(machine->colorOutputs[0], l), {0.25, 0.5, 0.75, 1}, 0, "oD0");
        expectNear(lane(machine->texCoordOutputs[0], l), {0.125, 0.875, 0, 1}, 0, "oT0");
        expectNear(lane(machine->texCoordOutputs[3], l), {0, 0, 1, 1}, 0, "oT3");
    }
    std::string written; // of the outputs the whole program hands on, those it writes
    for (const shader::RegisterComponents& output : program.whole.outputs) {
        if (output.components != 0) {
            written += std::to_string(static_cast<int>(output.type)) + ":" + std::to_string(output.number) + " ";
        }
    }
    EXPECT_EQ(written, "4:0 5:0 6:0 6:1 6:2 6:3 "); // oPos, oD0, oT0-oT3
}

TEST(ShaderMachine, pixelProgramComputesDiffusePlusSpecularPlusColour)
{
    const ProgramAnalysis program = loadProgram(pixelShaderText);
    auto machine = std::make_unique<ShaderMachine>();
    std::vector<float> constants(4 * 32, 0.0f);
    shader::applyDefinitions(program, constants.data(), 32);
    const std::uint32_t texel = 0xFF102030;
    shader::SamplerTexture samplers[16];
    samplers[0] = {&texel, 1, 1, 1};
    machine->constants = constants.data();
    machine->samplers = samplers;
    const V4 cases[][4] = {
        // t1 (to the eye, as it comes), t2 (to the light), t3 (normal), v0
        {{0, 0, 1, 0}, {0, 0, 2, 0}, {0, 0, 3, 0}, {0.1, 0.2, 0.3, 0.5}},
        {{0.6, 0, 0.8, 0}, {-1, 0, 1, 0}, {0, 0, 1, 0}, {0, 0, 0, 0}},
        {{0, 1, 0, 0}, {0, 1, 0, 0}, {0, -1, 0, 0}, {0.25, 0.25, 0.25, 0.25}}, // facing away: colour alone
    };
    for (int k = 0; k < 3; ++k) {
        setLane(machine->textureInputs[0], k, 0.5f, 0.5f, 0, 1);
        setLane(machine->textureInputs[1], k, cases[k][0].x, cases[k][0].y, cases[k][0].z, 0);
        setLane(machine->textureInputs[2], k, cases[k][1].x, cases[k][1].y, cases[k][1].z, 0);
        setLane(machine->textureInputs[3], k, cases[k][2].x, cases[k][2].y, cases[k][2].z, 0);
        setLane(machine->inputs[0], k, cases[k][3].x, cases[k][3].y, cases[k][3].z, cases[k][3].w);
    }
    shader::runProgram(program, *machine);
    auto saturate = [](double v) { return v < 0 ? 0.0 : v > 1 ? 1.0 : v; };
    for (int k = 0; k < 3; ++k) {
        const V4 eyeDir = cases[k][0];
        const V4 light = cases[k][1];
        const V4 n = cases[k][2];
        const double ln = std::sqrt(dot3(light, light));
        const double nn = std::sqrt(dot3(n, n));
        const double diffuse = saturate(dot3(eyeDir, n) / nn);
        const V4 reflected = {2 * diffuse * eyeDir.x - eyeDir.x, 2 * diffuse * eyeDir.y - eyeDir.y,
                              2 * diffuse * eyeDir.z - eyeDir.z, 0};
        const double specular = std::sqrt(std::max(saturate(dot3(reflected, light) / ln), 0.0));
        const double lit = diffuse * specular;
        const V4 colour = cases[k][3];
        expectNear(lane(machine->pixelColors[0], k),
                   {saturate(lit + colour.x), saturate(lit + colour.y), saturate(lit + colour.z), saturate(lit + colour.w)},
                   1e-6, "oC0");
    }
}

TEST(ShaderMachine, textureSamplingIsPointSampledAndWrapped)
{
    const ProgramAnalysis program = loadProgram("ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0");
    auto machine = std::make_unique<ShaderMachine>();
    const std::uint32_t texels[8] = {0xFF000000, 0x80FF0000, 0x0000FF00, 0x000000FF, // row 0
                                     0x11111111, 0x22222222, 0x33333333, 0x44444444}; // row 1
    shader::SamplerTexture samplers[16];
    samplers[0] = {texels, 4, 2, 4};
    std::vector<float> constants(4 * 32, 0.0f);
    machine->constants = constants.data();
    machine->samplers = samplers;
    const float coordinates[][2] = {{0.1f, 0.2f}, {0.26f, 0.49f}, {1.3f, -0.2f}, {-0.01f, 0.5f}, {NAN, 0.0f}};
    const std::uint32_t expected[] = {texels[0], texels[1], texels[5], texels[7], texels[0]};
    for (int k = 0; k < 5; ++k) {
        setLane(machine->textureInputs[0], k, coordinates[k][0], coordinates[k][1], 0, 1);
    }
    shader::runProgram(program, *machine);
    for (int k = 0; k < 5; ++k) {
        const std::uint32_t t = expected[k];
        expectNear(lane(machine->pixelColors[0], k),
                   {((t >> 16) & 255) / 255.0, ((t >> 8) & 255) / 255.0, (t & 255) / 255.0, (t >> 24) / 255.0}, 1e-7,
                   "texel");
    }
    // Nothing bound reads opaque black.
    samplers[0] = {};
    shader::runProgram(program, *machine);
    expectNear(lane(machine->pixelColors[0], 0), {0, 0, 0, 1}, 0, "unbound");
}

TEST(ShaderMachine, arithmeticEdgeCasesFollowTheDeviceRules)
{
    const ProgramAnalysis program = loadProgram(
        "vs_2_0\n"
        "dcl_position v0\n"
        "rcp r0, v0.x\n"        // 1/0 is +infinity
        "rsq r1, v0.y\n"        // of |x|; 0 gives +infinity
        "mov r2, c0\n"
        "crs r2.xyz, v0, c1\n"  // w keeps c0.w
        "nrm r3, c1\n"
        "m3x3 r4.xyz, v0, c2\n"
        "slt r5, v0, c1\n"
        "sge r6, v0, c1\n"
        "frc r7, c1\n"
        "lrp r8, c5, c1, c0\n"
        "mov oPos, v0\n"
        "mov oT0, r0\n");
    auto machine = std::make_unique<ShaderMachine>();
    std::vector<float> constants(4 * 256, 0.0f);
    const float c0[4] = {1, 2, 3, 7};
    const float c1[4] = {0, 3, -4, 1.25f};
    const float c2[12] = {1, 0, 0, 0, 0, 0, 2, 0, 0, 1, 0, 0};
    const float c5[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    std::copy(c0, c0 + 4, constants.begin());
    std::copy(c1, c1 + 4, constants.begin() + 4);
    std::copy(c2, c2 + 12, constants.begin() + 8);
    std::copy(c5, c5 + 4, constants.begin() + 20);
    machine->constants = constants.data();
    setLane(machine->inputs[0], 0, 0.0f, -4.0f, 5.0f, 1.0f);
    setLane(machine->inputs[0], 1, 2.0f, 0.0f, -1.0f, 1.0f);
    shader::runProgram(program, *machine);
    // rcp of v0.x (the replicated x): lane 0 has x = 0.
    EXPECT_TRUE(std::isinf(machine->temps[0].c[0][0]) && machine->temps[0].c[0][0] > 0);
    EXPECT_EQ(machine->temps[0].c[3][0], machine->temps[0].c[0][0]);
    EXPECT_FLOAT_EQ(machine->temps[0].c[0][1], 0.5f);
    EXPECT_FLOAT_EQ(machine->temps[1].c[0][0], 0.5f); // 1 / sqrt(|-4|)
    EXPECT_TRUE(std::isinf(machine->temps[1].c[2][1]));
    // cross((0, -4, 5), (0, 3, -4)) = (16 - 15, 0, 0); w untouched.
    expectNear(lane(machine->temps[2], 0), {1, 0, 0, 7}, 0, "crs");
    expectNear(lane(machine->temps[3], 0), {0, 0.6, -0.8, 0.25}, 1e-6, "nrm");
    expectNear(lane(machine->temps[4], 0), {0, 10, -4, 0}, 0, "m3x3");
    expectNear(lane(machine->temps[5], 0), {0, 1, 0, 1}, 0, "slt");
    expectNear(lane(machine->temps[6], 0), {1, 0, 1, 0}, 0, "sge");
    expectNear(lane(machine->temps[7], 0), {0, 0, 0, 0.25}, 0, "frc");
    expectNear(lane(machine->temps[8], 0), {0.5, 2.5, -0.5, 4.125}, 0, "lrp");
}

TEST(ShaderMachine, saturationClampsAndTurnsNaNIntoZeroAndTemporariesStartAtZero)
{
    const ProgramAnalysis program = loadProgram("ps_2_0\ndcl t0\nadd_sat r0, t0, r1\nmov oC0, r0");
    auto machine = std::make_unique<ShaderMachine>();
    std::vector<float> constants(4 * 32, 0.0f);
    machine->constants = constants.data();
    machine->temps[1].c[0][0] = 100.0f; // left over from an earlier run: must not be seen
    setLane(machine->textureInputs[0], 0, -0.5f, 1.5f, NAN, 0.25f);
    shader::runProgram(program, *machine);
    expectNear(lane(machine->pixelColors[0], 0), {0, 1, 0, 0.25}, 0, "saturate");
}
