// The rasterizer core end to end: set-up and scan of small scenes into
// render targets, checked sample by sample. Scenes are given in screen
// space (pixels, y down) and turned into clip-space vertices, so that
// corners land exactly on the 28.4 grid where a case needs it.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "raster/rasterizer.hpp"

namespace {

using raster::CullMode;
using raster::RasterState;
using raster::PixelBatch;
using raster::RenderTarget;
using raster::ShadedVertex;
using raster::Viewport;

constexpr std::int32_t SampleDx[4] = {-2, 6, -6, 2}; // sixteenths of a pixel
constexpr std::int32_t SampleDy[4] = {-6, -2, 2, 6};

// A clip-space vertex that lands on screen point (sx, sy) at depth z/w.
ShadedVertex screenVertex(const Viewport& viewport, double sx, double sy, double depth, double w = 1.0)
{
    ShadedVertex v{};
    v.position[0] = static_cast<float>((2.0 * (sx - viewport.x) / viewport.width - 1.0) * w);
    v.position[1] = static_cast<float>((1.0 - 2.0 * (sy - viewport.y) / viewport.height) * w);
    v.position[2] = static_cast<float>(depth * w);
    v.position[3] = static_cast<float>(w);
    return v;
}

raster::BatchShader solid(std::uint32_t color)
{
    return [color](const PixelBatch& batch, std::uint32_t* colors) {
        for (std::int32_t lane = 0; lane < batch.count; ++lane)
            colors[lane] = color;
    };
}

RasterState drawState(const Viewport& viewport, raster::BatchShader shade)
{
    RasterState state;
    state.viewport = viewport;
    state.cull = CullMode::None;
    state.shade = std::move(shade);
    return state;
}

RenderTarget makeTarget(std::int32_t width, std::int32_t height, std::int32_t samples)
{
    RenderTarget target;
    target.resize(width, height, samples);
    raster::clearColor(target, 0, 0, width, height, 0);
    raster::clearDepth(target, 0, 0, width, height, 1.0f);
    return target;
}

void draw(RenderTarget& target, const RasterState& state, const std::vector<ShadedVertex>& vertices,
          const std::vector<std::uint32_t>& indices)
{
    std::vector<raster::ScreenTriangle> triangles;
    raster::setupTriangles(state, vertices.data(), indices.data(), indices.size() / 3, triangles);
    raster::rasterizeTriangles(target, state, triangles.data(), triangles.size(), 0, target.height);
}

std::size_t sampleIndex(const RenderTarget& target, std::int32_t x, std::int32_t y, std::int32_t s)
{
    return (static_cast<std::size_t>(y) * target.width + x) * target.samples + s;
}

// A quad at one depth over every sample of the viewport's pixels.
void drawQuad(RenderTarget& target, const RasterState& state, double depth)
{
    const Viewport& v = state.viewport;
    const double left = v.x - 1, top = v.y - 1, right = v.x + v.width + 1, bottom = v.y + v.height + 1;
    draw(target, state,
         {screenVertex(v, left, top, depth), screenVertex(v, right, top, depth),
          screenVertex(v, right, bottom, depth), screenVertex(v, left, bottom, depth)},
         {0, 1, 2, 0, 2, 3});
}

// A mesh in sixteenths of a pixel with the convex outline it tiles.
struct Mesh {
    std::vector<std::pair<std::int64_t, std::int64_t>> corners;
    std::vector<std::uint32_t> indices;
    std::vector<std::uint32_t> outline;
};

Mesh shiftedMesh(Mesh mesh, std::int64_t dx, std::int64_t dy)
{
    for (auto& corner : mesh.corners)
        corner = {corner.first * 16 + dx, corner.second * 16 + dy};
    return mesh;
}

// Exactly inside the outline, off its edges (any winding).
bool strictlyInside(const Mesh& mesh, std::int64_t px, std::int64_t py)
{
    std::int32_t positive = 0, negative = 0;
    for (std::size_t k = 0; k < mesh.outline.size(); ++k) {
        const auto& a = mesh.corners[mesh.outline[k]];
        const auto& b = mesh.corners[mesh.outline[(k + 1) % mesh.outline.size()]];
        const std::int64_t e = (b.first - a.first) * (py - a.second) - (b.second - a.second) * (px - a.first);
        positive += e > 0;
        negative += e < 0;
    }
    const auto edges = static_cast<std::int32_t>(mesh.outline.size());
    return positive == edges || negative == edges;
}

// How many of the mesh's triangles cover each sample of a size x size target.
std::vector<std::int32_t> countCoverage(const Mesh& mesh, std::int32_t samples, std::int32_t size)
{
    const Viewport viewport{0, 0, size, size, 0.0f, 1.0f};
    RasterState state = drawState(viewport, solid(1));
    state.depthTest = false;
    std::vector<ShadedVertex> vertices;
    for (const auto& corner : mesh.corners)
        vertices.push_back(screenVertex(viewport, corner.first / 16.0, corner.second / 16.0, 0.5));
    std::vector<std::int32_t> counts(static_cast<std::size_t>(size) * size * samples, 0);
    for (std::size_t t = 0; t < mesh.indices.size(); t += 3) {
        RenderTarget target = makeTarget(size, size, samples);
        draw(target, state, vertices, {mesh.indices[t], mesh.indices[t + 1], mesh.indices[t + 2]});
        for (std::size_t i = 0; i < counts.size(); ++i)
            counts[i] += target.color[i] == 1u ? 1 : 0;
    }
    return counts;
}

// Every sample of the target: at most one triangle of the mesh covers it,
// and exactly one where it lies inside the mesh's outline.
void expectCoveredOnce(const Mesh& mesh, std::int32_t samples, std::int32_t size)
{
    const std::vector<std::int32_t> counts = countCoverage(mesh, samples, size);
    for (std::int32_t y = 0; y < size; ++y)
        for (std::int32_t x = 0; x < size; ++x)
            for (std::int32_t s = 0; s < samples; ++s) {
                const std::size_t i = (static_cast<std::size_t>(y) * size + x) * samples + s;
                const std::int64_t px = x * 16 + (samples == 4 ? SampleDx[s] : 0);
                const std::int64_t py = y * 16 + (samples == 4 ? SampleDy[s] : 0);
                ASSERT_LE(counts[i], 1) << "pixel " << x << "," << y << " sample " << s;
                if (strictlyInside(mesh, px, py)) {
                    ASSERT_EQ(counts[i], 1) << "pixel " << x << "," << y << " sample " << s;
                }
            }
}

Mesh scaledMesh(Mesh mesh, std::int64_t scale)
{
    for (auto& corner : mesh.corners)
        corner = {corner.first * scale, corner.second * scale};
    return mesh;
}

TEST(Rasterizer, fillRuleCoversEverySampleOfSharedEdgesAndVerticesExactlyOnce)
{
    const Mesh pair{{{8, 8}, {54, 12}, {10, 50}, {56, 52}}, {0, 1, 2, 1, 3, 2}, {0, 1, 3, 2}};
    const Mesh quad{{{8, 8}, {56, 8}, {56, 56}, {8, 56}}, {0, 1, 2, 0, 2, 3}, {0, 1, 2, 3}};
    const Mesh fan{{{32, 32}, {32, 6}, {52, 12}, {58, 32}, {52, 52}, {32, 58}, {12, 52}, {6, 32}, {12, 12}},
                   {0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 5, 0, 5, 6, 0, 6, 7, 0, 7, 8, 0, 8, 1},
                   {1, 2, 3, 4, 5, 6, 7, 8}};
    for (std::int32_t samples : {1, 4}) {
        // Every sub-pixel shift, so that edges and the fan's centre run
        // through sample points.
        for (const Mesh* base : {&pair, &quad, &fan})
            for (std::int64_t shift = 0; shift < 256; shift += 7)
                expectCoveredOnce(shiftedMesh(*base, shift % 16, shift / 16), samples, 64);
        // Triangles over 512 pixels across are scanned another way.
        for (const Mesh* base : {&pair, &quad})
            for (std::int64_t shift : {0, 37})
                expectCoveredOnce(shiftedMesh(scaledMesh(*base, 12), shift % 16, shift / 16), samples, 704);
    }
}

TEST(Rasterizer, fillRuleTakesTopAndLeftEdgesButNotBottomAndRight)
{
    struct Rectangle {
        std::int32_t x0, y0, x1, y1;
    };
    // A small one, and one scanned the way large triangles are, up to the
    // target's last pixel.
    for (const Rectangle r : {Rectangle{10, 5, 20, 15}, Rectangle{30, 20, 720, 640}}) {
        for (std::int32_t samples : {1, 4}) {
            const Viewport viewport{0, 0, 720, 640, 0.0f, 1.0f};
            RenderTarget target = makeTarget(720, 640, samples);
            const RasterState state = drawState(viewport, solid(7));
            draw(target, state,
                 {screenVertex(viewport, r.x0, r.y0, 0.5), screenVertex(viewport, r.x1, r.y0, 0.5),
                  screenVertex(viewport, r.x1, r.y1, 0.5), screenVertex(viewport, r.x0, r.y1, 0.5)},
                 {0, 1, 2, 0, 2, 3});
            for (std::int32_t y = 0; y < 640; ++y)
                for (std::int32_t x = 0; x < 720; ++x)
                    for (std::int32_t s = 0; s < samples; ++s) {
                        const std::int32_t px = x * 16 + (samples == 4 ? SampleDx[s] : 0);
                        const std::int32_t py = y * 16 + (samples == 4 ? SampleDy[s] : 0);
                        const bool inside = px >= r.x0 * 16 && px < r.x1 * 16 && py >= r.y0 * 16 && py < r.y1 * 16;
                        ASSERT_EQ(target.color[sampleIndex(target, x, y, s)], inside ? 7u : 0u)
                            << x << "," << y << " sample " << s;
                    }
        }
    }
}

TEST(Rasterizer, cullingRemovesOnlyTheSelectedWindingAndDegenerateTriangles)
{
    const Viewport viewport{0, 0, 64, 64, 0.0f, 1.0f};
    // Clockwise on screen (y down): right along the top, then down-left.
    const std::vector<ShadedVertex> vertices{screenVertex(viewport, 10, 10, 0.5), screenVertex(viewport, 50, 10, 0.5),
                                             screenVertex(viewport, 10, 50, 0.5), screenVertex(viewport, 30, 30, 0.5)};
    const std::vector<std::uint32_t> clockwise{0, 1, 2}, counterClockwise{0, 2, 1}, collinear{1, 3, 2};
    auto render = [&](CullMode cull, const std::vector<std::uint32_t>& indices) {
        RenderTarget target = makeTarget(64, 64, 1);
        RasterState state = drawState(viewport, solid(5));
        state.cull = cull;
        draw(target, state, vertices, indices);
        return target.color;
    };
    const std::vector<std::uint32_t> empty(64 * 64, 0u);
    const std::vector<std::uint32_t> drawn = render(CullMode::None, clockwise);
    EXPECT_NE(drawn, empty);
    EXPECT_EQ(render(CullMode::None, counterClockwise), drawn); // the same triangle whatever its index order
    EXPECT_EQ(render(CullMode::Clockwise, clockwise), empty);
    EXPECT_EQ(render(CullMode::Clockwise, counterClockwise), drawn);
    EXPECT_EQ(render(CullMode::CounterClockwise, clockwise), drawn);
    EXPECT_EQ(render(CullMode::CounterClockwise, counterClockwise), empty);
    EXPECT_EQ(render(CullMode::None, collinear), empty);
}

TEST(Rasterizer, depthTestPassesLessOrEqualOnSixteenBitDepths)
{
    const Viewport viewport{0, 0, 16, 16, 0.0f, 1.0f};
    RenderTarget target = makeTarget(16, 16, 4);
    EXPECT_EQ(target.depth[0], 65535u);
    auto quadAt = [&](double depth, std::uint32_t color, bool test, bool write) {
        RasterState state = drawState(viewport, solid(color));
        state.depthTest = test;
        state.depthWrite = write;
        drawQuad(target, state, depth);
    };
    const std::size_t probe = sampleIndex(target, 7, 9, 2);
    quadAt(0.5, 1, true, true);
    EXPECT_EQ(target.color[probe], 1u);
    EXPECT_EQ(target.depth[probe], 32768u); // round(0.5 * 65535)
    quadAt(0.5, 2, true, true); // equal passes
    EXPECT_EQ(target.color[probe], 2u);
    quadAt(0.5 + 0.4 / 65535.0, 3, true, true); // farther, but the same D16: passes
    EXPECT_EQ(target.color[probe], 3u);
    quadAt(0.5 + 1.5 / 65535.0, 4, true, true); // one D16 step farther: fails
    EXPECT_EQ(target.color[probe], 3u);
    EXPECT_EQ(target.depth[probe], 32768u);
    quadAt(0.75, 5, false, true); // no test: always passes, and writes
    EXPECT_EQ(target.color[probe], 5u);
    EXPECT_EQ(target.depth[probe], 49151u); // round(0.75 * 65535) = round(49151.25)
    quadAt(0.25, 6, true, false); // passes, but leaves the depth alone
    EXPECT_EQ(target.color[probe], 6u);
    EXPECT_EQ(target.depth[probe], 49151u);
    for (std::size_t i = 0; i < target.color.size(); ++i)
        ASSERT_EQ(target.color[i], 6u);
}

TEST(Rasterizer, depthMapsToTheViewportRangeAndIsInterpolatedPerSample)
{
    const Viewport viewport{0, 0, 32, 32, 0.25f, 0.75f};
    RenderTarget target = makeTarget(32, 32, 4);
    RasterState state = drawState(viewport, solid(1));
    // z/w runs from 0 at x = 0 to 1 at x = 32: depth 0.25 + x / 64.
    draw(target, state,
         {screenVertex(viewport, 0, 0, 0.0), screenVertex(viewport, 32, 0, 1.0), screenVertex(viewport, 32, 32, 1.0),
          screenVertex(viewport, 0, 32, 0.0)},
         {0, 1, 2, 0, 2, 3});
    for (std::int32_t s = 0; s < 4; ++s) {
        const double sampleX = 10 + SampleDx[s] / 16.0;
        const double expected = std::round((0.25 + sampleX / 64.0) * 65535.0);
        EXPECT_NEAR(target.depth[sampleIndex(target, 10, 12, s)], expected, 1.0) << "sample " << s;
    }
}

// A shader that writes varying 0's first component as the colour's bits.
raster::BatchShader varyingBits()
{
    return [](const PixelBatch& batch, std::uint32_t* colors) {
        for (std::int32_t lane = 0; lane < batch.count; ++lane)
            std::memcpy(&colors[lane], &batch.varyings[0][0][lane], sizeof(float));
    };
}

float colorAsFloat(std::uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

TEST(Rasterizer, varyingsArePerspectiveCorrectAtThePixelSamplePoint)
{
    const Viewport viewport{0, 0, 64, 64, 0.0f, 1.0f};
    RenderTarget target = makeTarget(64, 64, 1);
    RasterState state = drawState(viewport, varyingBits());
    state.varyingCount = 1;
    std::vector<ShadedVertex> v{screenVertex(viewport, 0, 0, 0.5, 1.0), screenVertex(viewport, 32, 0, 0.5, 3.0),
                                screenVertex(viewport, 0, 32, 0.5, 1.0)};
    v[1].varyings[0][0] = 1.0f;
    draw(target, state, v, {0, 1, 2});
    // At (8, 8) the screen weights are 1/2, 1/4, 1/4: with 1/w = 1, 1/3, 1
    // the varying is (1/4 * 1/3) / (1/2 + 1/12 + 1/4) = 0.1, where a linear
    // blend would give 0.25.
    EXPECT_NEAR(colorAsFloat(target.color[sampleIndex(target, 8, 8, 0)]), 0.1f, 1e-6f);
    EXPECT_NEAR(colorAsFloat(target.color[sampleIndex(target, 16, 0, 0)]), 0.25f, 1e-6f); // (1/2 * 1/3) / (1/2 + 1/6)
}

TEST(Rasterizer, nearPlaneClipDrawsOnlyTheFrontPartWithTheUnclippedVaryings)
{
    const Viewport viewport{0, 0, 64, 64, 0.0f, 1.0f};
    RenderTarget target = makeTarget(64, 64, 1);
    RasterState state = drawState(viewport, varyingBits());
    state.varyingCount = 1;
    const double sx[3] = {6, 58, 20}, sy[3] = {6, 10, 58}, depth[3] = {0.5, -0.5, 0.75}, w[3] = {2, 1, 4};
    const double value[3] = {0.0, 1.0, 0.25};
    std::vector<ShadedVertex> v;
    for (std::int32_t k = 0; k < 3; ++k) {
        v.push_back(screenVertex(viewport, sx[k], sy[k], depth[k], w[k]));
        v.back().varyings[0][0] = static_cast<float>(value[k]);
    }
    draw(target, state, v, {0, 1, 2});
    const double area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
    std::int32_t front = 0, behind = 0;
    for (std::int32_t y = 0; y < 64; ++y)
        for (std::int32_t x = 0; x < 64; ++x) {
            double weight[3];
            for (std::int32_t k = 0; k < 3; ++k) {
                const std::int32_t a = (k + 1) % 3, b = (k + 2) % 3;
                weight[k] = ((sx[b] - sx[a]) * (y - sy[a]) - (sy[b] - sy[a]) * (x - sx[a])) / area;
            }
            if (weight[0] < 0.02 || weight[1] < 0.02 || weight[2] < 0.02)
                continue;
            double sum = 0, interpolated = 0, zOverW = 0;
            for (std::int32_t k = 0; k < 3; ++k) {
                sum += weight[k] / w[k];
                interpolated += weight[k] * value[k] / w[k];
                zOverW += weight[k] * depth[k];
            }
            const std::uint32_t color = target.color[sampleIndex(target, x, y, 0)];
            if (zOverW > 0.02) {
                ++front;
                ASSERT_NEAR(colorAsFloat(color), interpolated / sum, 1e-5) << x << "," << y;
                ASSERT_NEAR(target.depth[sampleIndex(target, x, y, 0)], zOverW * 65535.0, 1.0) << x << "," << y;
            } else if (zOverW < -0.02) {
                ++behind;
                ASSERT_EQ(color, 0u) << x << "," << y;
            }
        }
    EXPECT_GT(front, 100);
    EXPECT_GT(behind, 100);
}

TEST(Rasterizer, viewportBandBoundsEveryWriteEvenForGuardBandAndNearClippedTriangles)
{
    for (const Viewport viewport : {Viewport{0, 64, 1024, 640, 0.0f, 1.0f}, Viewport{100, 64, 800, 640, 0.0f, 1.0f}}) {
        RenderTarget target;
        target.resize(1024, 768, 4);
        raster::clearColor(target, 0, 0, 1024, 768, 0x11111111u);
        raster::clearDepth(target, 0, 0, 1024, 768, 1.0f);
        RasterState state = drawState(viewport, solid(0xFF00FF00u));
        auto clipVertex = [](float x, float y, float z, float w) {
            ShadedVertex v{};
            v.position[0] = x, v.position[1] = y, v.position[2] = z, v.position[3] = w;
            return v;
        };
        // A quad to x, y = +-3 w (inside the guard band), a triangle far
        // beyond it, and one crossing the near plane.
        draw(target, state,
             {clipVertex(-3, -3, 0.5f, 1), clipVertex(3, -3, 0.5f, 1), clipVertex(3, 3, 0.5f, 1),
              clipVertex(-3, 3, 0.5f, 1)},
             {0, 1, 2, 0, 2, 3});
        state.depthTest = false;
        draw(target, state,
             {clipVertex(-100, -100, 0.5f, 1), clipVertex(100, -100, 0.5f, 1), clipVertex(0, 100, 0.5f, 1),
              clipVertex(-2, -2, -1, 1), clipVertex(2, -2, -1, 1), clipVertex(0, 2, 1, 1)},
             {0, 1, 2, 3, 4, 5});
        for (std::int32_t y = 0; y < 768; ++y)
            for (std::int32_t x = 0; x < 1024; ++x) {
                const bool inside = y >= viewport.y && y < viewport.y + viewport.height && x >= viewport.x &&
                                    x < viewport.x + viewport.width;
                for (std::int32_t s = 0; s < 4; ++s) {
                    const std::size_t i = sampleIndex(target, x, y, s);
                    ASSERT_EQ(target.color[i], inside ? 0xFF00FF00u : 0x11111111u) << x << "," << y;
                    if (!inside) {
                        ASSERT_EQ(target.depth[i], 65535u) << x << "," << y;
                    }
                }
            }
    }
}

TEST(Rasterizer, halfCoveredPixelShadesOnceAtItsCentreAndResolvesToHalfIntensity)
{
    const Viewport viewport{0, 0, 16, 16, 0.0f, 1.0f};
    RenderTarget target = makeTarget(16, 16, 4);
    std::map<std::pair<std::int32_t, std::int32_t>, std::int32_t> calls;
    std::vector<float> varyingAtColumnFive;
    RasterState state = drawState(viewport, [&](const PixelBatch& batch, std::uint32_t* colors) {
        for (std::int32_t lane = 0; lane < batch.count; ++lane) {
            ++calls[{batch.x[lane], batch.y[lane]}];
            if (batch.x[lane] == 5)
                varyingAtColumnFive.push_back(batch.varyings[0][0][lane]);
            colors[lane] = 0xFFFFFFFFu;
        }
    });
    state.varyingCount = 1;
    // Left edge at x = 5 + 1/16: of pixel 5's samples (x offsets -2, 6,
    // -6, 2 sixteenths) only 1 and 3 lie right of it, and so does not its
    // sample point. Varying 0 is the screen x.
    const double left = 5.0 + 1.0 / 16.0;
    std::vector<ShadedVertex> v{screenVertex(viewport, left, -8, 0.5), screenVertex(viewport, 100, -8, 0.5),
                                screenVertex(viewport, left, 100, 0.5)};
    for (ShadedVertex& vertex : v)
        vertex.varyings[0][0] = (vertex.position[0] + 1.0f) * 8.0f;
    draw(target, state, v, {0, 1, 2});
    std::vector<std::uint32_t> resolved(16 * 16);
    raster::resolve(target, resolved.data());
    for (std::int32_t y = 0; y < 16; ++y) {
        EXPECT_EQ(target.color[sampleIndex(target, 5, y, 0)], 0u);
        EXPECT_EQ(target.color[sampleIndex(target, 5, y, 1)], 0xFFFFFFFFu);
        EXPECT_EQ(target.color[sampleIndex(target, 5, y, 2)], 0u);
        EXPECT_EQ(target.color[sampleIndex(target, 5, y, 3)], 0xFFFFFFFFu);
        EXPECT_EQ(resolved[y * 16 + 4], 0u);
        EXPECT_EQ(resolved[y * 16 + 5], 0x80808080u); // (255 * 2 + 0 * 2 + 2) / 4 = 128
        EXPECT_EQ(resolved[y * 16 + 6], 0xFFFFFFFFu);
        EXPECT_EQ(calls.count({4, y}), 0u);
    }
    for (const auto& [pixel, count] : calls)
        EXPECT_EQ(count, 1) << pixel.first << "," << pixel.second;
    EXPECT_EQ(calls.size(), 16u * 11u);
    ASSERT_EQ(varyingAtColumnFive.size(), 16u);
    for (float value : varyingAtColumnFive)
        EXPECT_NEAR(value, 5.0f, 1e-4f); // extrapolated to the sample point outside the triangle
}

TEST(Rasterizer, resolveRoundsEachChannelToNearestAndCopiesSingleSamples)
{
    RenderTarget target;
    target.resize(2, 1, 4);
    target.color = {0x01020304u, 0x00000000u, 0x00000102u, 0x00000100u,
                    0xFF000000u, 0xFF000000u, 0xFF000001u, 0x00000001u};
    std::uint32_t out[2];
    raster::resolve(target, out);
    // Sums alpha 1, red 2, green 5, blue 6: (sum + 2) / 4 = 0, 1, 1, 2.
    EXPECT_EQ(out[0], 0x00010102u);
    EXPECT_EQ(out[1], 0xBF000001u); // alpha 765 -> 191, blue 2 -> 1
    target.resize(2, 1, 1);
    target.color = {0x12345678u, 0x9ABCDEF0u};
    raster::resolve(target, out);
    EXPECT_EQ(out[0], 0x12345678u);
    EXPECT_EQ(out[1], 0x9ABCDEF0u);
}

TEST(Rasterizer, clearsFillAllSamplesOfTheRectangleOnly)
{
    RenderTarget target = makeTarget(8, 8, 4);
    raster::clearColor(target, 2, 3, 20, 5, 0xABCDEFu); // clamped on the right
    raster::clearDepth(target, -4, 3, 20, 4, 0.0f);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 8; ++x)
            for (std::int32_t s = 0; s < 4; ++s) {
                const std::size_t i = sampleIndex(target, x, y, s);
                EXPECT_EQ(target.color[i], x >= 2 && y >= 3 && y < 5 ? 0xABCDEFu : 0u);
                EXPECT_EQ(target.depth[i], y == 3 ? 0u : 65535u);
            }
}

TEST(Rasterizer, setupRejectsTrianglesOutsideTheViewAndSplitsClippedOnes)
{
    const Viewport viewport{0, 64, 1024, 640, 0.0f, 1.0f};
    const RasterState state = drawState(viewport, solid(1));
    auto count = [&](std::vector<std::array<float, 4>> positions) {
        std::vector<ShadedVertex> vertices(positions.size());
        for (std::size_t k = 0; k < positions.size(); ++k)
            std::memcpy(vertices[k].position, positions[k].data(), sizeof(float) * 4);
        const std::vector<std::uint32_t> indices{0, 1, 2};
        std::vector<raster::ScreenTriangle> out;
        raster::setupTriangles(state, vertices.data(), indices.data(), 1, out);
        return out.size();
    };
    EXPECT_EQ(count({{{2, 0, 0.5f, 1}, {3, 0, 0.5f, 1}, {2, 1, 0.5f, 1}}}), 0u);        // right of the view
    EXPECT_EQ(count({{{0, 0, -1, 1}, {1, 0, -1, 1}, {0, 1, -0.5f, 1}}}), 0u);           // behind the near plane
    EXPECT_EQ(count({{{0, 0, 2, 1}, {1, 0, 2, 1}, {0, 1, 3, 1}}}), 0u);                 // beyond the far plane
    EXPECT_EQ(count({{{0, 0, 0.5f, 1}, {0.5f, 0, 0.5f, 1}, {0, 0.5f, 0.5f, 1}}}), 1u); // inside
    EXPECT_EQ(count({{{0, 0, -1, 1}, {0.5f, 0, 1, 1}, {0, 0.5f, 1, 1}}}), 2u);          // one corner cut off
    EXPECT_EQ(count({{{0, 0, 0.5f, 1}, {0, 0, 0.5f, 1}, {0.5f, 0.5f, 0.5f, 1}}}), 0u); // no area
    EXPECT_EQ(count({{{NAN, 0, 0.5f, 1}, {0.5f, 0, 0.5f, 1}, {0, 0.5f, 0.5f, 1}}}), 0u);
}

TEST(Rasterizer, rowSplitsGiveBitIdenticalTargets)
{
    struct Scene {
        std::int32_t width, height, triangles;
        Viewport viewport;
    };
    // Small triangles, and ones up to a thousand pixels across.
    for (const Scene scene : {Scene{128, 96, 300, {3, 5, 120, 85, 0.0f, 1.0f}},
                              Scene{640, 480, 40, {3, 5, 600, 450, 0.0f, 1.0f}}}) {
        std::mt19937 random(12345);
        std::uniform_real_distribution<float> coordinate(-1.3f, 1.3f), depth(0.0f, 1.0f), w(0.5f, 4.0f);
        std::vector<ShadedVertex> vertices;
        std::vector<std::uint32_t> indices;
        for (std::int32_t k = 0; k < 3 * scene.triangles; ++k) {
            ShadedVertex v{};
            v.position[3] = w(random);
            v.position[0] = coordinate(random) * v.position[3];
            v.position[1] = coordinate(random) * v.position[3];
            v.position[2] = depth(random) * v.position[3];
            v.varyings[0][0] = depth(random);
            vertices.push_back(v);
            indices.push_back(static_cast<std::uint32_t>(k));
        }
        RasterState state = drawState(scene.viewport, varyingBits());
        state.varyingCount = 1;
        state.cull = CullMode::Clockwise;
        std::vector<raster::ScreenTriangle> triangles;
        raster::setupTriangles(state, vertices.data(), indices.data(), indices.size() / 3, triangles);
        ASSERT_GT(triangles.size(), static_cast<std::size_t>(scene.triangles) / 6);
        auto render = [&](std::int32_t band) {
            RenderTarget target = makeTarget(scene.width, scene.height, 4);
            for (std::int32_t row = 0; row < scene.height; row += band)
                raster::rasterizeTriangles(target, state, triangles.data(), triangles.size(), row, row + band);
            return target;
        };
        const RenderTarget whole = render(scene.height);
        for (std::int32_t band : {1, 7, 32}) {
            const RenderTarget split = render(band);
            EXPECT_EQ(split.color, whole.color) << "bands of " << band;
            EXPECT_EQ(split.depth, whole.depth) << "bands of " << band;
        }
    }
}

} // namespace

namespace {

// Varying 0 as the colour, each channel a byte of its components.
raster::BatchShader varyingColour()
{
    return [](const PixelBatch& batch, std::uint32_t* colors) {
        for (std::int32_t lane = 0; lane < batch.count; ++lane) {
            std::uint32_t c = 0xFF000000u;
            for (int i = 0; i < 3; ++i) {
                const float v = batch.varyings[0][i][lane];
                const float clamped = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
                c |= static_cast<std::uint32_t>(clamped * 255.0f + 0.5f) << (16 - 8 * i);
            }
            colors[lane] = c;
        }
    };
}

} // namespace

// Triangles under perspective that reach past each side plane of the view
// (to 3 to 20 times w, inside the guard band) and one reaching past the
// guard band itself, with a varying drawn as colour, pinned to the bit: a
// side plane clipped at the view's edge instead of the band's moves the
// interpolated colours of the pixels next to that edge.
TEST(Rasterizer, trianglesCrossingEachGuardBandPlaneArePinnedToTheBit)
{
    const Viewport viewport{0, 8, 64, 32, 0.0f, 1.0f};
    RenderTarget target = makeTarget(64, 48, 4);
    RasterState state = drawState(viewport, varyingColour());
    state.varyingCount = 1;
    auto vertex = [](float x, float y, float w, float r, float g, float b) {
        ShadedVertex v{};
        v.position[0] = x * w;
        v.position[1] = y * w;
        v.position[2] = 0.5f * w;
        v.position[3] = w;
        v.varyings[0][0] = r, v.varyings[0][1] = g, v.varyings[0][2] = b, v.varyings[0][3] = 1.0f;
        return v;
    };
    std::vector<ShadedVertex> vertices;
    std::vector<std::uint32_t> indices;
    auto triangle = [&](const ShadedVertex& a, const ShadedVertex& b, const ShadedVertex& c) {
        for (const ShadedVertex* v : {&a, &b, &c}) {
            indices.push_back(static_cast<std::uint32_t>(vertices.size()));
            vertices.push_back(*v);
        }
    };
    triangle(vertex(0.5f, 0.2f, 1.0f, 1, 0, 0), vertex(9.0f, 0.9f, 3.0f, 0, 1, 0), vertex(0.7f, -0.8f, 1.7f, 0, 0, 1));
    triangle(vertex(-0.5f, -0.2f, 1.3f, 0, 1, 1), vertex(-15.0f, 0.6f, 2.0f, 1, 0, 1), vertex(-0.3f, 0.7f, 0.9f, 1, 1, 0));
    triangle(vertex(0.1f, 0.6f, 1.1f, 1, 0.5f, 0), vertex(-0.4f, 20.0f, 4.0f, 0, 0.5f, 1), vertex(0.6f, 0.5f, 1.9f, 0.2f, 1, 0.3f));
    triangle(vertex(-0.1f, -0.6f, 1.4f, 0.9f, 0.1f, 0.4f), vertex(0.5f, -3.0f, 0.8f, 0.1f, 0.7f, 0.9f), vertex(0.9f, -0.4f, 2.5f, 0.6f, 0.6f, 0.1f));
    triangle(vertex(-0.9f, 0.9f, 1.0f, 0.3f, 0.3f, 0.9f), vertex(-60.0f, -0.9f, 1.0f, 0.8f, 0.2f, 0.1f), vertex(-0.8f, 0.8f, 1.2f, 0.5f, 0.9f, 0.5f));
    triangle(vertex(0.2f, 0.3f, 1.1f, 0.13f, 0.77f, 0.41f), vertex(25.0f, -0.5f, 0.7f, 0.93f, 0.07f, 0.62f), vertex(0.9f, 0.95f, 2.2f, 0.35f, 0.2f, 0.85f));
    triangle(vertex(-0.6f, -0.5f, 1.5f, 0.71f, 0.29f, 0.05f), vertex(0.3f, -18.0f, 1.2f, 0.04f, 0.96f, 0.58f), vertex(0.8f, 0.1f, 0.6f, 0.47f, 0.53f, 0.99f));
    draw(target, state, vertices, indices);
    std::uint64_t hash = 0xcbf29ce484222325ull;
    std::int32_t covered = 0;
    for (std::uint32_t c : target.color) {
        covered += c != 0 ? 1 : 0;
        for (int shift = 0; shift < 32; shift += 8) {
            hash = (hash ^ ((c >> shift) & 0xFF)) * 0x100000001b3ull;
        }
    }
    EXPECT_GT(covered, 1000); // the triangles are seen
    EXPECT_EQ(hash, 0x11df8faedcec6f12ull);
}
