// The rasterizer core on frames shaped like the program's: a 1024 x 768
// four-sample target with the viewport band at y = 64, and a trivial pixel
// program, so that the figures are those of set-up, coverage, depth and
// batching. Two kinds of scene: small triangles at random places (the
// worst case for the caches) with a few large ones, and lines of text made
// of cubes, in the order they are drawn, with as many triangles again
// off-screen (the frame the device must draw 60 times a second).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "raster/rasterizer.hpp"

namespace {

constexpr std::int32_t Width = 1024, Height = 768;
const raster::Viewport Band{0, 64, 1024, 640, 0.0f, 1.0f};

struct Scene {
    std::vector<raster::ShadedVertex> vertices;
    std::vector<std::uint32_t> indices;
    raster::CullMode cull = raster::CullMode::None;
};

raster::ShadedVertex clipVertex(float x, float y, float z, float w)
{
    raster::ShadedVertex v{};
    v.position[0] = x * w;
    v.position[1] = y * w;
    v.position[2] = z * w;
    v.position[3] = w;
    v.varyings[0][0] = x;
    v.varyings[0][1] = y;
    v.varyings[1][0] = z;
    return v;
}

raster::ShadedVertex screenVertex(float sx, float sy, float z, float w)
{
    return clipVertex((sx - Band.x) / Band.width * 2.0f - 1.0f, 1.0f - (sy - Band.y) / Band.height * 2.0f, z, w);
}

void addTriangle(Scene& scene, const raster::ShadedVertex& a, const raster::ShadedVertex& b,
                 const raster::ShadedVertex& c)
{
    for (const raster::ShadedVertex* v : {&a, &b, &c}) {
        scene.indices.push_back(static_cast<std::uint32_t>(scene.vertices.size()));
        scene.vertices.push_back(*v);
    }
}

// Small triangles of about 24 pixels a side at random places, a share of
// them off-screen, and `large` triangles over much of the band.
Scene randomScene(std::int32_t small, std::int32_t offScreen, std::int32_t large)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f), far(2.0f, 6.0f), depth(0.05f, 0.95f), w(1.0f, 3.0f);
    Scene scene;
    auto add = [&](float cx, float cy, float radiusX, float radiusY) {
        const float z = depth(random), vw = w(random);
        raster::ShadedVertex corner[3];
        for (raster::ShadedVertex& v : corner)
            v = clipVertex(cx + radiusX * unit(random), cy + radiusY * unit(random), z, vw);
        addTriangle(scene, corner[0], corner[1], corner[2]);
    };
    const float radiusX = 24.0f / Band.width, radiusY = 24.0f / Band.height;
    for (std::int32_t t = 0; t < small; ++t)
        add(unit(random), unit(random), radiusX, radiusY);
    for (std::int32_t t = 0; t < offScreen; ++t)
        add(far(random) * (t % 2 ? 1.0f : -1.0f), unit(random), radiusX, radiusY);
    for (std::int32_t t = 0; t < large; ++t)
        add(0.0f, 0.0f, 1.5f, 1.5f);
    return scene;
}

// A screen quad as two triangles, clockwise on screen when front is set.
void addQuad(Scene& scene, const float (*corner)[2], float z, float w, bool front)
{
    raster::ShadedVertex v[4];
    for (std::int32_t k = 0; k < 4; ++k)
        v[k] = screenVertex(corner[k][0], corner[k][1], z, w);
    if (front) {
        addTriangle(scene, v[0], v[1], v[2]);
        addTriangle(scene, v[0], v[2], v[3]);
    } else {
        addTriangle(scene, v[0], v[2], v[1]);
        addTriangle(scene, v[0], v[3], v[2]);
    }
}

// One cube of side `size` pixels at (x, y): front, top and right faces
// towards the viewer, and the three faces behind them, which culling takes.
void addCube(Scene& scene, float x, float y, float size, float z, float w)
{
    const float d = size * 0.35f; // the depth axis on screen
    const float front[4][2] = {{x, y}, {x + size, y}, {x + size, y + size}, {x, y + size}};
    const float top[4][2] = {{x + d, y - d}, {x + size + d, y - d}, {x + size, y}, {x, y}};
    const float right[4][2] = {{x + size, y}, {x + size + d, y - d}, {x + size + d, y + size - d}, {x + size, y + size}};
    const float back[4][2] = {{x + d, y - d}, {x + size + d, y - d}, {x + size + d, y + size - d}, {x + d, y + size - d}};
    addQuad(scene, front, z, w, true);
    addQuad(scene, top, z, w, true);
    addQuad(scene, right, z, w, true);
    addQuad(scene, back, z + 0.01f, w, false);
    addQuad(scene, top, z + 0.01f, w, false);
    addQuad(scene, right, z + 0.01f, w, false);
}

// Lines of text whose letters are 5 x 7 cells, a cell in three holding a
// cube of 10 to 30 pixels; then off-screen triangles, one for each cube
// triangle, and a few large ones.
Scene textScene(std::int32_t cubes, std::int32_t large)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    Scene scene;
    scene.cull = raster::CullMode::CounterClockwise;
    for (std::int32_t t = 0; t < large; ++t) {
        const float corner[4][2] = {{-200.0f, 40.0f}, {1200.0f, 30.0f}, {1100.0f, 750.0f}, {-100.0f, 700.0f}};
        addQuad(scene, corner, 0.9f - 0.1f * t, 1.0f, true);
    }
    float size = 18.0f, x = 0.0f, y = 80.0f, z = 0.5f;
    for (std::int32_t placed = 0; placed < cubes;) {
        for (std::int32_t cell = 0; cell < 35 && placed < cubes; ++cell) {
            if (unit(random) > 0.35f)
                continue;
            addCube(scene, x + (cell % 5) * size, y + (cell / 5) * size, size, z, 1.0f + z);
            ++placed;
        }
        x += 6.0f * size;
        if (x > Width) {
            size = 10.0f + 20.0f * unit(random);
            x = -40.0f * unit(random);
            y += 8.0f * size;
            z = 0.1f + 0.8f * unit(random);
            if (y > Height)
                y = 40.0f + 60.0f * unit(random);
        }
    }
    const std::size_t onScreen = scene.indices.size() / 3;
    for (std::size_t t = 0; t < onScreen; ++t) {
        const float cx = -3000.0f + 1500.0f * unit(random), cy = 800.0f * unit(random);
        addTriangle(scene, screenVertex(cx, cy, 0.5f, 1.0f), screenVertex(cx + 20.0f, cy, 0.5f, 1.0f),
                    screenVertex(cx, cy + 20.0f, 0.5f, 1.0f));
    }
    return scene;
}

raster::RasterState drawState(raster::CullMode cull)
{
    raster::RasterState state;
    state.viewport = Band;
    state.cull = cull;
    state.varyingCount = 2;
    state.shade = [](const raster::PixelBatch& batch, std::uint32_t* colors) {
        for (std::int32_t lane = 0; lane < batch.count; ++lane)
            colors[lane] = 0xFF000000u | static_cast<std::uint32_t>(batch.varyings[0][0][lane] * 255.0f);
    };
    return state;
}

// Counters: triangles in and after set-up, their rows and covered pixels.
void countWork(benchmark::State& bench, const Scene& scene, const std::vector<raster::ScreenTriangle>& triangles,
               raster::RenderTarget& target, const raster::RasterState& state, std::int32_t endRow)
{
    std::int64_t rows = 0, shaded = 0;
    for (const raster::ScreenTriangle& tri : triangles)
        rows += std::max(0, std::min(tri.maxY, endRow - 1) - tri.minY + 1);
    raster::RasterState counting = state;
    counting.depthTest = false;
    counting.shade = [&shaded](const raster::PixelBatch& batch, std::uint32_t* colors) {
        shaded += batch.count;
        for (std::int32_t lane = 0; lane < batch.count; ++lane)
            colors[lane] = 0;
    };
    raster::rasterizeTriangles(target, counting, triangles.data(), triangles.size(), Band.y, endRow);
    bench.counters["triangles"] = static_cast<double>(scene.indices.size() / 3);
    bench.counters["visible"] = static_cast<double>(triangles.size());
    bench.counters["rows"] = static_cast<double>(rows);
    bench.counters["pixels"] = static_cast<double>(shaded);
}

// Clear, set-up of the whole scene, then one band of rows scanned as one
// of two threads would: halfBand 0 scans all of the viewport, 1 its upper
// half.
void runFrame(benchmark::State& bench, const Scene& scene, bool halfBand)
{
    const raster::RasterState state = drawState(scene.cull);
    const std::int32_t endRow = halfBand ? Band.y + Band.height / 2 : Band.y + Band.height;
    raster::RenderTarget target;
    target.resize(Width, Height, 4);
    std::vector<raster::ScreenTriangle> triangles;
    for (auto _ : bench) {
        raster::clearColor(target, Band.x, Band.y, Band.x + Band.width, endRow, 0);
        raster::clearDepth(target, Band.x, Band.y, Band.x + Band.width, endRow, 1.0f);
        triangles.clear();
        raster::setupTriangles(state, scene.vertices.data(), scene.indices.data(), scene.indices.size() / 3,
                               triangles);
        raster::rasterizeTriangles(target, state, triangles.data(), triangles.size(), Band.y, endRow);
        benchmark::DoNotOptimize(target.color.data());
        benchmark::ClobberMemory();
    }
    countWork(bench, scene, triangles, target, state, endRow);
}

void randomTriangles(benchmark::State& bench)
{
    runFrame(bench,
             randomScene(static_cast<std::int32_t>(bench.range(0)), static_cast<std::int32_t>(bench.range(1)),
                         static_cast<std::int32_t>(bench.range(2))),
             bench.range(3) != 0);
}

void textCubes(benchmark::State& bench)
{
    runFrame(bench, textScene(static_cast<std::int32_t>(bench.range(0)), static_cast<std::int32_t>(bench.range(1))),
             bench.range(2) != 0);
}

void setupOnly(benchmark::State& bench)
{
    const Scene scene = textScene(static_cast<std::int32_t>(bench.range(0)), 0);
    const raster::RasterState state = drawState(scene.cull);
    std::vector<raster::ScreenTriangle> triangles;
    for (auto _ : bench) {
        triangles.clear();
        raster::setupTriangles(state, scene.vertices.data(), scene.indices.data(), scene.indices.size() / 3,
                               triangles);
        benchmark::DoNotOptimize(triangles.data());
    }
    bench.SetItemsProcessed(bench.iterations() * static_cast<std::int64_t>(scene.indices.size() / 3));
}

void resolveFrame(benchmark::State& bench)
{
    raster::RenderTarget target;
    target.resize(Width, Height, 4);
    std::vector<std::uint32_t> frame(static_cast<std::size_t>(Width) * Height);
    for (auto _ : bench) {
        raster::resolve(target, frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}

} // namespace

BENCHMARK(randomTriangles)
    ->ArgNames({"small", "offscreen", "large", "halfband"})
    ->Args({4000, 0, 0, 0})
    ->Args({4000, 0, 4, 0})
    ->Args({15000, 30000, 4, 0})
    ->Args({15000, 30000, 4, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(textCubes)
    ->ArgNames({"cubes", "large", "halfband"})
    ->Args({1875, 2, 0})
    ->Args({0, 2, 0})
    ->Args({1875, 0, 0})
    ->Args({1875, 2, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(setupOnly)->ArgNames({"cubes"})->Args({1875})->Unit(benchmark::kMillisecond);
BENCHMARK(resolveFrame)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
