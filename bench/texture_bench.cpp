// Building the six stored textures into plain buffers, as start-up does
// before the upload: the whole pixel half of the texture list, from the same
// random state every iteration.
#include <benchmark/benchmark.h>

#include <vector>

#include "data/embedded_data.hpp"
#include "math/random.hpp"
#include "texgen/texture_ops.hpp"
#include "texgen/texture_script.hpp"

namespace {

void buildStoredTextures(benchmark::State& state)
{
    textureScript = embeddedTextureScript;
    textureScriptSize = sizeof embeddedTextureScript;
    std::vector<std::vector<std::uint32_t>> textures(6, std::vector<std::uint32_t>(TexturePixelCount));
    for (auto _ : state) {
        randomSeed = 1;
        beginTextureScript();
        std::size_t built = 0;
        while (textureBeginsAtCursor() && built < textures.size()) {
            buildTexturePixels(textures[built++].data());
            advancePastTexture();
        }
        endTextureScript();
        benchmark::DoNotOptimize(textures.back().data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 6);
}

} // namespace

BENCHMARK(buildStoredTextures)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
