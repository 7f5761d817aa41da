// The software device: the renderer's vertex program on the reference
// shader machine against the compiled routine (vertices a second, a draw of
// 24 vertices at a time as the program draws its cubes), and whole dense
// frames of the program itself (the stretch 20,000 - 21,000 ms, every frame
// computed; the time a frame is the median of the range, one run a
// process).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "d3dx/assembler.hpp"
#include "data/shader_programs.hpp"
#include "host/headless/headless_host.hpp"
#include "raster/vertex_routine.hpp"

namespace {

struct VertexDraw {
    std::shared_ptr<shader::ProgramAnalysis> program = std::make_shared<shader::ProgramAnalysis>();
    std::vector<float> stream;
    std::vector<float> constants = std::vector<float>(4 * 256, 0.0f);
    std::vector<float> snapshot;
    std::vector<pipeline::InputBinding> bindings;
    std::vector<shader::Varying> varyings = {{true, 0}, {false, 0}, {false, 1}, {false, 2}, {false, 3}};

    explicit VertexDraw(std::int32_t vertices)
    {
        const d3dx::AssemblyResult code = d3dx::assembleShader(vertexShaderText);
        std::string error;
        shader::analyzeTokens(code.tokens.data(), code.tokens.size(), *program, error);
        std::mt19937 random(5);
        std::uniform_real_distribution<float> unit(-0.5f, 0.5f);
        stream.resize(static_cast<std::size_t>(vertices) * 16);
        for (float& f : stream) {
            f = unit(random);
        }
        for (int i = 0; i < 16; ++i) { // matrices near the identity: every vertex in view
            constants[static_cast<std::size_t>(i)] = (i % 5 == 0 ? 1.0f : 0.0f) + 0.01f * unit(random);
        }
        for (std::size_t i = 16; i < constants.size(); ++i) {
            constants[i] = unit(random);
        }
        shader::applyDefinitions(*program, constants.data(), 256);
        for (std::uint32_t n : program->whole.constantsRead) {
            snapshot.insert(snapshot.end(), &constants[4 * n], &constants[4 * n] + 4);
        }
        for (std::uint32_t v = 0; v < 5; ++v) {
            bindings.push_back({v, D3DDECLTYPE_FLOAT3, static_cast<WORD>(12 * v)});
        }
    }

    raster::VertexStageInput input(std::int32_t first, std::int32_t count) const
    {
        raster::VertexStageInput in{};
        in.program = program.get();
        in.constants = constants.data();
        in.bindings = bindings;
        in.stream = {reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size() * sizeof(float), 0, 64};
        in.firstVertex = first;
        in.vertexCount = count;
        in.varyings = varyings;
        return in;
    }
};

constexpr std::int32_t DrawVertices = 24;
constexpr std::int32_t Draws = 256;

void BM_VertexProgramOnTheMachine(benchmark::State& state)
{
    const VertexDraw draw(DrawVertices * Draws);
    std::vector<raster::ShadedVertex> out;
    for (auto _ : state) {
        for (std::int32_t d = 0; d < Draws; ++d) {
            const raster::VertexStageInput in = draw.input(d * DrawVertices, DrawVertices);
            raster::shadeVertices(in, out);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.counters["vertices/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * DrawVertices * Draws, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VertexProgramOnTheMachine);

void BM_VertexProgramCompiled(benchmark::State& state)
{
    const VertexDraw draw(DrawVertices * Draws);
    const raster::VertexRoutine routine(*draw.program, static_cast<shader::RoutineWidth>(state.range(0)));
    if (!routine.compiled() || (state.range(0) == static_cast<int>(shader::RoutineWidth::Eight) &&
                                !shader::hasEightLaneRoutine())) {
        state.SkipWithError("this routine is not available here");
        return;
    }
    std::vector<raster::ShadedVertex> out;
    raster::VertexScratch file;
    for (auto _ : state) {
        for (std::int32_t d = 0; d < Draws; ++d) {
            routine.shade(draw.input(d * DrawVertices, DrawVertices), draw.snapshot.data(), out, file);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetLabel(routine.width() == 8 ? "8 lanes (AVX2)" : "4 lanes");
    state.counters["vertices/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * DrawVertices * Draws, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VertexProgramCompiled)
    ->Arg(static_cast<int>(shader::RoutineWidth::Four))
    ->Arg(static_cast<int>(shader::RoutineWidth::Eight));

// The program's own dense frames, headless on the software device.
void BM_DenseFrame(benchmark::State& state)
{
    for (auto _ : state) {
        headless::HeadlessOptions options;
        options.device = "software";
        options.keep = headless::retraceTimes(20000, 21000, 60);
        const headless::HeadlessResult result = headless::runHeadless(options);
        std::vector<double> times;
        for (const headless::FrameTiming& frame : result.frames) {
            if (frame.rendered) {
                times.push_back(frame.wallMs);
            }
        }
        std::sort(times.begin(), times.end());
        state.SetIterationTime(times.empty() ? 0.0 : times[times.size() / 2] / 1000.0);
    }
}
// One run: the program's tables are process-wide, made once a process.
BENCHMARK(BM_DenseFrame)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
