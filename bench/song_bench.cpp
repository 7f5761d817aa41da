// Start-up cost of the song, measured with Google Benchmark: one readSong of
// the embedded song (373 events on one track) and the releaseSong that frees
// its lists, as the program does once at start-up and once at shutdown.
#include <benchmark/benchmark.h>

#include "data/embedded_data.hpp"
#include "music/song_reader.hpp"

namespace {

void BM_ReadAndReleaseStoredSong(benchmark::State& state)
{
    for (auto _ : state) {
        const bool whole = readSong(embeddedSong, sizeof embeddedSong);
        benchmark::DoNotOptimize(whole);
        benchmark::DoNotOptimize(songTracks);
        releaseSong();
    }
}
BENCHMARK(BM_ReadAndReleaseStoredSong);

} // namespace

BENCHMARK_MAIN();
