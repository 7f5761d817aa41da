// Start-up generation and per-frame animation cost, measured with Google
// Benchmark: the whole scene build of the stored data (text cubes,
// description, attribute passes, animation, update order), its main steps,
// and one evaluateAnimation call on the loaded scene.
#include <benchmark/benchmark.h>

#include "anim/animation.hpp"
#include "common/allocation.hpp"
#include "scene/scene_loader.hpp"
#include "scene/scene_object.hpp"
#include "scene/transform_hierarchy.hpp"
#include "scroller/cube_text.hpp"

namespace {

constexpr std::int32_t StoredObjectCount = 3;

void resetSceneInputs()
{
    objectCount = StoredObjectCount;
    sceneReadPos = 0;
}

void releaseScene()
{
    freeAnimation();
    freeUpdateOrder();
    freeScene();
}

void BM_StartupGeneration(benchmark::State& state)
{
    for (auto _ : state) {
        resetSceneInputs();
        loadScene();
        loadAnimation();
        buildUpdateOrder();
        benchmark::DoNotOptimize(objectTable);
        state.PauseTiming();
        releaseScene();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartupGeneration)->Unit(benchmark::kMillisecond);

void BM_TextCubes(benchmark::State& state)
{
    for (auto _ : state) {
        rasterizeMessage();
        const std::int32_t count = makeTextCubes();
        benchmark::DoNotOptimize(textCubes);
        state.PauseTiming();
        for (std::int32_t i = 0; i < count; ++i) {
            freeObjectMesh(textCubes[i]);
        }
        releaseBlock(textCubes);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TextCubes)->Unit(benchmark::kMillisecond);

void BM_BuildUpdateOrder(benchmark::State& state)
{
    resetSceneInputs();
    loadScene();
    for (auto _ : state) {
        buildUpdateOrder();
        benchmark::DoNotOptimize(updateOrder);
        state.PauseTiming();
        freeUpdateOrder();
        state.ResumeTiming();
    }
    freeScene();
}
BENCHMARK(BM_BuildUpdateOrder)->Unit(benchmark::kMicrosecond);

void BM_EvaluateAnimation(benchmark::State& state)
{
    resetSceneInputs();
    loadScene();
    loadAnimation();
    buildUpdateOrder();
    // Mid-flight: the camera channel runs, so the camera moves every call.
    std::int32_t now = 40840;
    for (auto _ : state) {
        evaluateAnimation(now);
        now = now == 40840 ? 40841 : 40840;
        benchmark::DoNotOptimize(cameraEye);
    }
    releaseScene();
}
BENCHMARK(BM_EvaluateAnimation)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
