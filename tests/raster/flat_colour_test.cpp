// Triangles the pixel program gives one colour: the range of each varying
// over a triangle's box encloses what the shading interpolates at every
// pixel of it, and scenes drawn with the flat colours written straight
// into the samples are the same bits as the same scenes shaded pixel by
// pixel, with four samples and with one.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "data/shader_programs.hpp"
#include "raster/pixel_batch.hpp"
#include "raster/pixel_stage.hpp"
#include "support/assembled_program.hpp"

using namespace raster;

namespace {

constexpr std::int32_t Size = 96;
const Viewport View{0, 0, Size, Size, 0.0f, 1.0f};

// A vertex at a random place around the viewport (some corners well
// outside it), at a depth `w` of 0.05 to 20.
ShadedVertex randomCorner(std::mt19937& random)
{
    std::uniform_real_distribution<float> place(-1.6f, 1.6f), depth(0.0f, 1.0f), w(0.05f, 20.0f);
    ShadedVertex v{};
    v.position[3] = w(random);
    v.position[0] = place(random) * v.position[3];
    v.position[1] = place(random) * v.position[3];
    v.position[2] = depth(random) * v.position[3];
    return v;
}

// Varyings of the kinds a flat colour hangs on: the same at every corner
// (white, a byte's edge, anything), or different.
void fillVaryings(std::mt19937& random, ShadedVertex* corners, std::int32_t count)
{
    std::uniform_real_distribution<float> any(-2.0f, 2.0f);
    const float shared[] = {1.0f, 254.5f / 255.0f, 0.5f / 255.0f, 0.25f, any(random)};
    for (std::int32_t v = 0; v < MaxVaryings; ++v) {
        for (std::int32_t c = 0; c < 4; ++c) {
            const std::uint32_t kind = random() % 8;
            const float same = shared[random() % std::size(shared)];
            for (std::int32_t k = 0; k < count; ++k) {
                corners[k].varyings[v][c] = kind < 5 ? same : any(random);
            }
        }
    }
}

RasterState rendererState()
{
    PixelStageInput input;
    input.program = loadAssembledProgram(pixelShaderText);
    input.routine = std::make_shared<shader::CompiledProgram>(input.program->whole, input.program->type);
    input.constants.assign(4 * 32, 0.0f);
    shader::applyDefinitions(*input.program, input.constants.data(), 32);
    RasterState state;
    state.viewport = View;
    state.cull = CullMode::None;
    setPixelStage(std::move(input), state);
    return state;
}

} // namespace

TEST(FlatColour, eachVaryingsRangeEnclosesWhatTheShadingInterpolatesOverTheBox)
{
    std::mt19937 random(5);
    const ScreenTriangle* current = nullptr;
    std::int64_t checked = 0;
    RasterState state;
    state.viewport = View;
    state.cull = CullMode::None;
    state.varyingCount = MaxVaryings;
    state.shade = [&](const PixelBatch& batch, std::uint32_t* colours) {
        for (std::int32_t v = 0; v < MaxVaryings; ++v) {
            for (std::int32_t c = 0; c < 4; ++c) {
                const shader::ValueRange range = interpolatedRange(*current, v, c);
                for (std::int32_t lane = 0; lane < batch.count; ++lane) {
                    const float value = batch.varyings[v][c][lane];
                    ASSERT_TRUE(range.nan || (range.low <= value && value <= range.high))
                        << value << " outside [" << range.low << ", " << range.high << "] at " << batch.x[lane]
                        << ", " << batch.y[lane];
                    ++checked;
                }
            }
        }
        std::fill(colours, colours + batch.count, 0u);
    };
    RenderTarget target;
    target.resize(Size, Size, 1);
    for (int round = 0; round < 300; ++round) {
        ShadedVertex corners[3] = {randomCorner(random), randomCorner(random), randomCorner(random)};
        fillVaryings(random, corners, 3);
        const std::uint32_t indices[3] = {0, 1, 2};
        std::vector<ScreenTriangle> triangles;
        setupTriangles(state, corners, indices, 1, triangles);
        for (const ScreenTriangle& tri : triangles) { // every pixel of the box, as any sample might cover it
            current = &tri;
            PixelShading shading(target, state);
            shading.beginTriangle(tri);
            for (std::int32_t y = tri.minY; y <= tri.maxY; ++y) {
                for (std::int32_t x = tri.minX; x <= tri.maxX; ++x) {
                    shading.add(x, y, 1u);
                }
            }
            shading.flush();
        }
    }
    EXPECT_GT(checked, 1000000);
}

TEST(FlatColour, flatTrianglesScanToTheSameSamplesAsShadedOnes)
{
    const RasterState flat = rendererState();
    RasterState shaded = flat;
    shaded.flatColour = nullptr;
    std::mt19937 random(11);
    std::vector<ShadedVertex> vertices(3 * 200);
    for (std::size_t t = 0; t < vertices.size(); t += 3) {
        for (std::size_t k = 0; k < 3; ++k) {
            vertices[t + k] = randomCorner(random);
        }
        fillVaryings(random, &vertices[t], 3);
        // The diffuse colour v0: white (the lighting saturates it), the
        // edge between two bytes, or anything.
        const float diffuse[] = {1.0f, 1.0f, 254.5f / 255.0f, 0.3f};
        const float value = diffuse[random() % std::size(diffuse)];
        for (std::size_t k = 0; k < 3; ++k) {
            for (float& c : vertices[t + k].varyings[0]) {
                c = value == 0.3f ? static_cast<float>(random() % 256) / 255.0f : value;
            }
        }
    }
    std::vector<std::uint32_t> indices(vertices.size());
    for (std::uint32_t i = 0; i < indices.size(); ++i) {
        indices[i] = i;
    }
    for (const std::int32_t samples : {4, 1}) {
        std::vector<ScreenTriangle> flatTriangles, shadedTriangles;
        setupTriangles(flat, vertices.data(), indices.data(), indices.size() / 3, flatTriangles);
        setupTriangles(shaded, vertices.data(), indices.data(), indices.size() / 3, shadedTriangles);
        std::int32_t flatCount = 0;
        for (const ScreenTriangle& tri : flatTriangles) {
            flatCount += tri.flat ? 1 : 0;
        }
        EXPECT_GT(flatCount, 20); // both ways ran
        EXPECT_LT(flatCount, static_cast<std::int32_t>(flatTriangles.size()) - 20);
        RenderTarget a, b;
        for (RenderTarget* target : {&a, &b}) {
            target->resize(Size, Size, samples);
            clearColor(*target, 0, 0, Size, Size, 0xFF000000u);
            clearDepth(*target, 0, 0, Size, Size, 1.0f);
        }
        rasterizeTriangles(a, flat, flatTriangles.data(), flatTriangles.size(), 0, Size);
        rasterizeTriangles(b, shaded, shadedTriangles.data(), shadedTriangles.size(), 0, Size);
        EXPECT_EQ(a.color, b.color) << samples << " samples";
        EXPECT_EQ(a.depth, b.depth) << samples << " samples";
    }
}
