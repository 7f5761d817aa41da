// A compiled routine run over ranges against the same routine run over
// lanes: whatever the lanes hold inside the ranges given for its inputs,
// every value it computes lies inside the range the run over ranges gives
// (NaN only where that range allows it), for each operation with
// modifiers, swizzles, masks and saturation. And the ranges stay tight
// enough to tell that the renderer's program gives one colour where its
// diffuse colour saturates it, and not where it does not.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "data/shader_programs.hpp"
#include "shader/compiled_program.hpp"
#include "shader/value_ranges.hpp"
#include "support/assembled_program.hpp"
#include "support/pixel_opcode_cases.hpp"

namespace {

using shader::CompiledProgram;
using shader::RegisterType;
using shader::RoutineWidth;
using shader::ValueRange;

constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

// The inputs a case reads, each component a range and the lanes' values in it.
struct Input {
    RegisterType type;
    std::uint32_t number;
};
const Input Inputs[] = {{RegisterType::Input, 0}, {RegisterType::Input, 1}, {RegisterType::Texture, 0},
                        {RegisterType::Texture, 1}};

// A range of one of the kinds the routine meets, with the floats it holds.
struct Drawn {
    ValueRange range;
    float low, high;
};

Drawn drawRange(std::mt19937& random)
{
    std::uniform_real_distribution<float> unit(-3.0f, 3.0f);
    const float points[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e30f, -1e-40f, 1e-30f, Inf, 254.5f / 255.0f};
    switch (random() % 6) {
    case 0: {
        const float p = points[random() % std::size(points)];
        return {ValueRange::exactly(p), p, p};
    }
    case 1: {
        float a = unit(random), b = unit(random);
        if (a > b) {
            std::swap(a, b);
        }
        return {ValueRange::between(a, b), a, b};
    }
    case 2: return {ValueRange::between(-1e-3f, 2e-3f), -1e-3f, 2e-3f}; // about 0
    case 3: return {ValueRange::between(0.999f, 1.001f), 0.999f, 1.001f};
    case 4: return {ValueRange{0.25, 0.75, true}, 0.25f, 0.75f}; // and NaN
    default: return {ValueRange::between(-1e20f, 1e20f), -1e20f, 1e20f};
    }
}

float drawValue(std::mt19937& random, const Drawn& d)
{
    const std::uint32_t k = random() % 8;
    if (k == 0) {
        return d.low;
    }
    if (k == 1) {
        return d.high;
    }
    if (k == 2 && d.range.nan) {
        return NaN;
    }
    const float t = std::uniform_real_distribution<float>(0.0f, 1.0f)(random);
    const float v = d.low + (d.high - d.low) * t;
    return std::isfinite(v) ? std::min(std::max(v, d.low), d.high) : d.low;
}

bool inside(const ValueRange& range, float v)
{
    return std::isnan(v) ? range.nan : range.low <= v && v <= range.high;
}

// Sampler 0 a 3 x 2 texture of assorted texels, the others none.
const std::vector<shader::kernel::Sampler>& samplers()
{
    static const std::uint32_t texels[6] = {0xFF000000u, 0x00FFFFFFu, 0x80402010u, 0x01020304u, 0xFFFFFFFFu, 0u};
    static const std::vector<shader::kernel::Sampler> all = [] {
        std::vector<shader::kernel::Sampler> s(16, shader::kernel::Sampler{nullptr, 0, 0, 0});
        s[0] = {texels, 3, 2, 3};
        return s;
    }();
    return all;
}

std::vector<RoutineWidth> widths()
{
    std::vector<RoutineWidth> all = {RoutineWidth::Four};
    if (shader::hasEightLaneRoutine()) {
        all.push_back(RoutineWidth::Eight);
    }
    return all;
}

// The snapshot a routine reads: the constants it reads, in order, four floats each.
std::vector<float> snapshotOf(const shader::ProgramAnalysis& program, std::vector<float> constants)
{
    shader::applyDefinitions(program, constants.data(), 32);
    std::vector<float> snapshot;
    for (const std::uint32_t c : program.whole.constantsRead) {
        snapshot.insert(snapshot.end(), constants.begin() + 4 * c, constants.begin() + 4 * c + 4);
    }
    return snapshot;
}

void expectRangesEncloseTheLanes(const std::string& text, const std::string& what)
{
    const auto program = loadAssembledProgram(text);
    std::mt19937 random(static_cast<std::uint32_t>(text.size()) * 7u + 1u);
    for (const RoutineWidth width : widths()) {
        const CompiledProgram routine(program->whole, program->type, width);
        ASSERT_TRUE(routine.compiled()) << what;
        std::vector<float> file(routine.fileSize());
        std::vector<ValueRange> ranges(routine.rangeCount());
        const std::uint32_t colour = routine.slot(RegisterType::ColorOut, 0);
        for (int round = 0; round < 60; ++round) {
            std::vector<float> constants(4 * 32);
            for (float& c : constants) {
                c = drawValue(random, drawRange(random));
            }
            const std::vector<float> snapshot = snapshotOf(*program, constants);
            routine.prepareFile(file.data(), snapshot.data());
            routine.clearTemporaries(file.data());
            routine.prepareRanges(ranges.data());
            for (const Input& input : Inputs) {
                const std::uint32_t slot = routine.slot(input.type, input.number);
                for (std::uint32_t c = 0; slot != ~0u && c < 4; ++c) {
                    const Drawn d = drawRange(random);
                    ranges[slot / shader::BatchLanes + c] = d.range;
                    for (std::int32_t lane = 0; lane < shader::BatchLanes; ++lane) {
                        file[slot + c * shader::BatchLanes + static_cast<std::uint32_t>(lane)] = drawValue(random, d);
                    }
                }
            }
            routine.run(file.data(), shader::BatchLanes, samplers().data());
            routine.runOnRanges(ranges.data(), snapshot.data());
            for (std::uint32_t c = 0; c < 4; ++c) {
                const ValueRange& range = ranges[colour / shader::BatchLanes + c];
                for (std::int32_t lane = 0; lane < shader::BatchLanes; ++lane) {
                    const float v = file[colour + c * shader::BatchLanes + static_cast<std::uint32_t>(lane)];
                    ASSERT_TRUE(inside(range, v)) << what << ": round " << round << " component " << c << " lane "
                                                  << lane << ": " << v << " outside [" << range.low << ", "
                                                  << range.high << "]" << (range.nan ? " or NaN" : "");
                }
            }
        }
    }
}

} // namespace

TEST(ValueRanges, rangesEncloseEveryValueEachOperationComputes)
{
    for (const std::string& line : pixelOpcodeLines()) {
        expectRangesEncloseTheLanes(pixelOpcodeCase(line), line);
    }
    expectRangesEncloseTheLanes(pixelShaderText, "renderer program");
    // Exponents the library takes another way for: 0.5 and 2.
    expectRangesEncloseTheLanes(std::string(PixelCaseHeader) + "def c4, 0.5, 2, 0, 0\n"
                                                               "pow r0, t0.x, c4.x\npow r1, v0.y, c4.y\n"
                                                               "add r0, r0, r1\nmov oC0, r0\n",
                                "square roots and squares");
}

// The renderer's program with its diffuse colour v0 in `diffuse`, the
// vectors it normalises anything at all: the colour's four ranges.
std::vector<ValueRange> rendererColour(const ValueRange& diffuse)
{
    const auto program = loadAssembledProgram(pixelShaderText);
    const CompiledProgram routine(program->whole, program->type);
    std::vector<ValueRange> ranges(routine.rangeCount());
    routine.prepareRanges(ranges.data());
    const std::uint32_t v0 = routine.slot(RegisterType::Input, 0) / shader::BatchLanes;
    for (std::uint32_t c = 0; c < 4; ++c) {
        ranges[v0 + c] = diffuse;
    }
    const std::vector<float> snapshot = snapshotOf(*program, std::vector<float>(4 * 32, 0.0f));
    routine.runOnRanges(ranges.data(), snapshot.data());
    const std::uint32_t colour = routine.slot(RegisterType::ColorOut, 0) / shader::BatchLanes;
    return {ranges.begin() + colour, ranges.begin() + colour + 4};
}

TEST(ValueRanges, theRenderersProgramIsOneColourWhereItsDiffuseColourSaturatesIt)
{
    // White, a few roundings either side: every channel saturates to 1, or
    // lies within a rounding of it (a byte of 255 either way).
    for (const ValueRange& channel : rendererColour(ValueRange::between(1.0 - 0x1p-22, 1.0 + 0x1p-22))) {
        EXPECT_FALSE(channel.nan);
        EXPECT_GE(channel.low, 1.0 - 0x1p-18);
        EXPECT_LE(channel.high, 1.0);
    }
    // Grey: the lighting adds anything from 0 to 1 to it.
    for (const ValueRange& channel : rendererColour(ValueRange::between(0.5, 0.5))) {
        EXPECT_FALSE(channel.nan);
        EXPECT_LE(channel.low, 0.5);
        EXPECT_EQ(channel.high, 1.0);
    }
    // Saturation turns anything, NaN too, into [0, 1]; a NaN in a sum stays.
    const auto program =
        loadAssembledProgram("ps_2_0\ndcl t0\nadd_sat r0.xy, t0, t0\nadd r0.zw, t0, t0\nmov oC0, r0\n");
    const CompiledProgram routine(program->whole, program->type);
    std::vector<ValueRange> ranges(routine.rangeCount());
    routine.prepareRanges(ranges.data());
    routine.runOnRanges(ranges.data(), nullptr);
    const std::uint32_t colour = routine.slot(RegisterType::ColorOut, 0) / shader::BatchLanes;
    EXPECT_EQ(ranges[colour].low, 0.0);
    EXPECT_EQ(ranges[colour + 1].high, 1.0);
    EXPECT_FALSE(ranges[colour + 1].nan);
    EXPECT_TRUE(ranges[colour + 2].nan);
    EXPECT_FALSE(ranges[colour + 3].bounded());
}
