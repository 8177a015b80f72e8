// The stems' render beside the mix's: the start-value piece (voice 2 held),
// once without and once with the harmony line, written as WAV files by
// "Save as Audio" (one file) and by "Save Stems" (one file per line, in one
// pass). Each iteration is one whole render, font loading included; the
// counter "x_real_time" is seconds of sound per second of wall time.

#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "synth/audio_render.h"
#include "synth/piece_renderer.h"
#include "synth/soundfont_locator.h"
#include "synth/stem_render.h"

namespace tarnwick {
namespace {

struct BenchPiece {
    SongSettings settings;
    std::vector<LineEvent> events;
};

BenchPiece startPiece(bool harmony) {
    BenchPiece piece;
    RandomGenerator random(1);
    Score score;
    (void)prepareSession(
        random,
        [&](SongSettings& s) {
            s.harmonyOffset = harmony ? 7 : 0;
            return FileResult::success({});
        },
        piece.settings, score);
    piece.events = buildLineEvents(piece.settings, score, random);
    return piece;
}

std::string scratchFolder() {
    const auto folder = std::filesystem::temp_directory_path() / "tarnwick-stems-bench";
    std::filesystem::create_directories(folder);
    return folder.string();
}

void setRate(benchmark::State& state, const SongSettings& settings) {
    const double seconds =
        static_cast<double>(pieceFrames(settings.stepMs)) / static_cast<double>(kRenderSampleRate);
    state.counters["x_real_time"] =
        benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
}

void mixRender(benchmark::State& state) {
    const BenchPiece piece = startPiece(state.range(0) != 0);
    const std::vector<MidiEvent> events = untagged(piece.events);
    const std::string font = findSoundFont(defaultSoundFontPaths());
    const std::string path = scratchFolder() + "/mix.wav";
    for (auto _ : state) {
        if (renderAudioFile(path, font, piece.settings, events).status != RenderStatus::Written) {
            state.SkipWithError("the mix was not written");
        }
    }
    setRate(state, piece.settings);
}

void stemsRender(benchmark::State& state) {
    const BenchPiece piece = startPiece(state.range(0) != 0);
    const std::string font = findSoundFont(defaultSoundFontPaths());
    double gainDb = 0.0;
    for (auto _ : state) {
        const StemsRenderResult result = renderStemFiles(scratchFolder(), AudioFileFormat::Wav,
                                                         font, piece.settings, piece.events);
        if (result.status != RenderStatus::Written) {
            state.SkipWithError("the stems were not written");
        }
        gainDb = result.gainDb;
    }
    setRate(state, piece.settings);
    // Below 0 when the loudest stem made the render run twice.
    state.counters["gain_db"] = gainDb;
}

// Run with --benchmark_enable_random_interleaving=true, so that the load of a
// shared machine falls on both alike.
BENCHMARK(mixRender)
    ->ArgName("harmony")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5);
BENCHMARK(stemsRender)
    ->ArgName("harmony")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5);

} // namespace
} // namespace tarnwick
