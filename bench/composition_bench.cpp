// Generating a whole score, at the start values and with the busiest settings.

#include <benchmark/benchmark.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/score.h"
#include "composition/song_settings.h"

namespace tarnwick {
namespace {

void BM_GenerateScoreAtStartValues(benchmark::State& state) {
    RandomGenerator random(1);
    SongSettings settings;
    applyStartValues(settings, random);
    Score score;
    for (auto _ : state) {
        generateScore(settings, score);
        benchmark::DoNotOptimize(score);
    }
}
BENCHMARK(BM_GenerateScoreAtStartValues);

void BM_GenerateScoreWithRepeatAndHarmony(benchmark::State& state) {
    RandomGenerator random(1);
    SongSettings settings;
    randomiseAll(settings, random);
    settings.repeatLength = 3;
    settings.harmonyOffset = 7;
    Score score;
    for (auto _ : state) {
        generateScore(settings, score);
        benchmark::DoNotOptimize(score);
    }
}
BENCHMARK(BM_GenerateScoreWithRepeatAndHarmony);

} // namespace
} // namespace tarnwick
