// The compiled vertex routine against the shader machine, its reference,
// through the vertex stage:
// every executed vertex opcode with negation, swizzles and masks over
// a table of edge values, whole programs, draws of every length around the
// chunk and batch sizes, and vertices past the end of the stream. Equal
// means equal bits (a NaN equals any NaN: which of two NaN operands an
// operation passes on is the compiler's choice of operand order, and no
// NaN reaches the picture: colours saturate it to 0 and clipping drops it).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "d3dx/assembler.hpp"
#include "support/assembled_program.hpp"
#include "data/shader_programs.hpp"
#include "raster/vertex_routine.hpp"

using namespace raster;
using pipeline::InputBinding;
using shader::ProgramAnalysis;
using shader::RoutineWidth;

namespace {

constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

// Values where the arithmetic has its corners.
const float EdgeValues[] = {0.0f,   -0.0f,   1.0f,     -1.0f,  0.5f,   -2.25f, 3.7f,    1e-30f, -1e30f, 1e38f,
                            1e-40f, -1e-45f, Inf,      -Inf,   NaN,    0.999f, 65504.f, 2.0f,   -0.25f, 7.5e-8f};
constexpr int ValueCount = sizeof EdgeValues / sizeof EdgeValues[0];

bool sameBits(float a, float b)
{
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

// A draw's worth of vertices: four FLOAT4 inputs (v0 - v3) a vertex.
struct Draw {
    std::vector<float> stream;
    std::vector<float> constants = std::vector<float>(4 * 256, 0.0f);
    std::vector<InputBinding> bindings;
    std::vector<shader::Varying> varyings;
    std::int32_t vertexCount = 0;
    std::int64_t firstVertex = 0;
};

Draw makeDraw(std::int32_t vertexCount, std::uint32_t seed)
{
    Draw d;
    d.vertexCount = vertexCount;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pick(0, ValueCount + 9);
    std::uniform_real_distribution<float> plain(-4.0f, 4.0f);
    auto value = [&] {
        const int k = pick(random);
        return k < ValueCount ? EdgeValues[k] : plain(random);
    };
    d.stream.resize(static_cast<std::size_t>(vertexCount) * 16);
    for (float& f : d.stream) {
        f = value();
    }
    for (float& f : d.constants) {
        f = value();
    }
    for (std::uint32_t v = 0; v < 4; ++v) {
        d.bindings.push_back({v, D3DDECLTYPE_FLOAT4, static_cast<WORD>(16 * v)});
    }
    d.varyings = {{true, 0}, {true, 1}};
    for (std::uint32_t n = 0; n < 6; ++n) {
        d.varyings.push_back({false, n});
    }
    return d;
}

VertexStageInput inputOf(const Draw& d, const ProgramAnalysis& program, const float* constants)
{
    VertexStageInput input{};
    input.program = &program;
    input.constants = constants;
    input.bindings = d.bindings;
    input.stream = {reinterpret_cast<const std::uint8_t*>(d.stream.data()), d.stream.size() * sizeof(float), 0, 64};
    input.firstVertex = d.firstVertex;
    input.vertexCount = d.vertexCount;
    input.varyings = d.varyings;
    return input;
}

// Shades the draw on the machine and with the routine of the given width:
// every position and varying component agrees.
void expectRoutineMatchesMachine(const ProgramAnalysis& program, Draw d, RoutineWidth width, const std::string& what)
{
    shader::applyDefinitions(program, d.constants.data(), 256);
    std::vector<ShadedVertex> expected, actual;
    shadeVertices(inputOf(d, program, d.constants.data()), expected);
    const VertexRoutine routine(program, width);
    EXPECT_TRUE(routine.compiled()) << what;
    std::vector<float> snapshot;
    for (std::uint32_t n : program.whole.constantsRead) {
        snapshot.insert(snapshot.end(), &d.constants[4 * n], &d.constants[4 * n] + 4);
    }
    raster::VertexScratch scratch;
    routine.shade(inputOf(d, program, nullptr), snapshot.data(), actual, scratch);
    EXPECT_EQ(expected.size(), actual.size()) << what;
    for (std::size_t v = 0; v < expected.size(); ++v) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(sameBits(expected[v].position[i], actual[v].position[i]))
                << what << ": vertex " << v << " position " << i << ": " << expected[v].position[i] << " vs "
                << actual[v].position[i];
        }
        for (std::size_t k = 0; k < d.varyings.size(); ++k) {
            for (int i = 0; i < 4; ++i) {
                EXPECT_TRUE(sameBits(expected[v].varyings[k][i], actual[v].varyings[k][i]))
                    << what << ": vertex " << v << " varying " << k << "." << i << ": " << expected[v].varyings[k][i]
                    << " vs " << actual[v].varyings[k][i];
            }
        }
    }
}

std::vector<RoutineWidth> widths()
{
    std::vector<RoutineWidth> w = {RoutineWidth::Four};
    if (shader::hasEightLaneRoutine()) {
        w.push_back(RoutineWidth::Eight);
    }
    return w;
}

const char* const Header = "vs_2_0\ndcl_position v0\ndcl_normal v1\ndcl_tangent v2\ndcl_color v3\n";

} // namespace

TEST(VertexRoutine, everyOpcodeWithNegationSwizzlesAndMasksMatchesTheMachine)
{
    // Each line is one instruction into r0 (or its parts), then r0 goes out
    // through a texture coordinate, unclamped, and through a colour, clamped.
    const char* const lines[] = {
        "mov r0, v0",        "mov r0, -v1.wzyx",      "mov r0.zw, v2",       "add r0, v0, -v1",
        "add r0.xz, v0.x, c3.yzwx", "sub r0, v0, v1",  "mul r0, v0, c7",       "mul r0.yw, v2.z, -v3",
        "mad r0, v0, v1, v2", "mad r0, v0, -c2, v3.w", "min r0, v0, v1",       "max r0, v0, -v1",
        "slt r0, v0, v1",    "sge r0, v0, c9",        "lrp r0, v0, v1, v2",   "frc r0, v0",
        "frc r0.xy, -v3",    "abs r0, v1",            "rcp r0, v0.x",         "rcp r0.yz, v1.w",
        "rsq r0, v0.y",      "rsq r0, -v2.z",         "exp r0, v0.z",         "log r0, v1.x",
        "pow r0, v0.x, v1.y", "pow r0, v2.w, c4.x",   "dp3 r0, v0, v1",       "dp4 r0, v0, -v2",
        "dp3 r0.w, v1, c5", "m4x4 r0, v0, c10",   "m4x3 r0.xyz, v1, c20", "m3x4 r0, v2, c30",
        "m3x3 r0.xyz, v3, c40", "m3x2 r0.xy, v0, c50", "crs r0.xyz, v0, v1",  "nrm r0, v2",
        "nrm r0.xyz, -v3",    "m4x4 r0, v0, c252",
    };
    for (const char* line : lines) {
        const std::string text = std::string(Header) + line + "\nmov oPos, v0\nmov oT0, r0\nmov oD0, r0\nmov oT1, v1\n";
        const auto program = loadAssembledProgram(text);
        for (RoutineWidth width : widths()) {
            for (std::uint32_t seed = 1; seed <= 6; ++seed) {
                expectRoutineMatchesMachine(*program, makeDraw(37, seed), width, line);
            }
        }
    }
}

TEST(VertexRoutine, wholeProgramsMatchTheMachineOverEveryDrawLength)
{
    // The renderer's program, and one that reads a temporary before it writes
    // it, an undeclared input, its own defs, writes oPos in parts and
    // leaves outputs unwritten (they read 0, 0, 0, 1).
    const std::string other = std::string(Header) +
                              "def c60, 0.5, -1.5, 2.0, 0.0\n"
                              "add r1, r2, v0\n"        // r2 never written: 0
                              "mad r2.xy, r1, c60, v5\n" // v5 undeclared: 0
                              "mul oPos.xy, r2, c1\n"
                              "dp4 oPos.z, v0, c60\n"
                              "mov oPos.w, c60.z\n"
                              "rsq r3.w, r1.x\n"
                              "mul oD1, r3.w, v3\n"
                              "mov oT5.xz, r1\n";
    const auto renderer = loadAssembledProgram(vertexShaderText);
    const auto edges = loadAssembledProgram(other);
    // Lengths around the batch widths and the 32-vertex chunk.
    const std::int32_t lengths[] = {1, 3, 4, 5, 8, 9, 24, 31, 32, 33, 64, 71};
    for (RoutineWidth width : widths()) {
        for (std::int32_t length : lengths) {
            expectRoutineMatchesMachine(*renderer, makeDraw(length, 100 + length), width, "renderer");
            expectRoutineMatchesMachine(*edges, makeDraw(length, 200 + length), width, "edge program");
        }
    }
}

TEST(VertexRoutine, verticesPastTheStreamAndUnfedInputsReadTheDefaults)
{
    const auto program = loadAssembledProgram(vertexShaderText);
    for (RoutineWidth width : widths()) {
        Draw d = makeDraw(20, 7);
        d.firstVertex = 12; // vertices 20 - 31 lie past the end
        d.vertexCount = 20;
        d.bindings[2].type = D3DDECLTYPE_UNUSED; // the tangent has no element
        expectRoutineMatchesMachine(*program, d, width, "past the end");
        Draw before = makeDraw(10, 8);
        before.firstVertex = -4; // a negative base vertex reads the defaults too
        expectRoutineMatchesMachine(*program, before, width, "before the start");
    }
}

// A temporary a program reads but never writes reads 0 on the machine as in
// the routines, whatever an earlier program left in the machine's
// registers: here the rows of a matrix macro above the highest temporary
// the program names (r10 and r11, which the first program filled).
TEST(VertexRoutine, temporariesAProgramNeverWritesReadZeroWhateverRanBefore)
{
    const auto filler = loadAssembledProgram(std::string(Header) +
                                             "mov r9, v1\nmov r10, v1\nmov r11, v1\nmov oPos, v0\n"
                                             "add oT0, r9, r10\nmov oT1, r11\n");
    const auto reader = loadAssembledProgram(std::string(Header) + "m3x3 r0.xyz, v0, r9\nmov oPos, v0\nmov oT0, r0\n");
    for (RoutineWidth width : widths()) {
        Draw d = makeDraw(40, 11);
        for (std::size_t i = 0; i < d.stream.size(); ++i) {
            d.stream[i] = 0.5f + static_cast<float>(i % 7); // r10 and r11 would give non-zero products
        }
        std::vector<ShadedVertex> out;
        shadeVertices(inputOf(d, *filler, d.constants.data()), out); // the machine's registers now hold v1
        expectRoutineMatchesMachine(*reader, d, width, "after a program that wrote r10 and r11");
        shadeVertices(inputOf(d, *reader, d.constants.data()), out);
        const std::size_t oT0 = 2; // the varyings are oD0, oD1, oT0 ...
        for (const ShadedVertex& v : out) {
            EXPECT_EQ(v.varyings[oT0][1], 0.0f); // v0 . r10, r10 = 0
            EXPECT_EQ(v.varyings[oT0][2], 0.0f);
        }
    }
}
