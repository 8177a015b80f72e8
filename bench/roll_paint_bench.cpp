// What the window's piano roll costs the user-interface thread, measured on
// the real widget under Qt's offscreen platform (whose backing store is an
// image in memory): a whole paint, as after Play, against one tick, which
// follows the performance and repaints the playhead's two columns.

#include <cstdlib>

#include <QApplication>
#include <benchmark/benchmark.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "midi/recording_output.h"
#include "playback/play_state.h"
#include "playback/step_player.h"
#include "window/piano_roll_widget.h"

namespace tarnwick::bench {
namespace {

// A shown roll with a canon from the start values, a drum hit every 8 steps.
struct ShownRoll {
    ShownRoll() {
        RandomGenerator seed(2024);
        applyStartValues(settings, seed);
        settings.drumKit.fill(10);
        generateScore(settings, score);
        score.drumNotes.fill(36);
        state.beatCounter = settings.beatLength;
        roll.show();
        roll.startPerformance(score, settings, state);
        QApplication::processEvents();
    }
    SongSettings settings;
    Score score;
    PlayState state;
    RandomGenerator random{1};
    RecordingOutput output;
    PianoRollWidget roll;
};

void BM_RollWholePaint(benchmark::State& state) {
    ShownRoll shown;
    for (auto _ : state) {
        shown.roll.repaint();
    }
}

void BM_RollTick(benchmark::State& state) {
    ShownRoll shown;
    for (auto _ : state) {
        shown.output.messages.clear();
        playStep(shown.state, shown.score, shown.settings, shown.random, shown.output);
        for (const std::uint32_t message : shown.output.messages) {
            shown.roll.hear(message);
        }
        shown.roll.followTick(shown.state, shown.settings);
        QApplication::processEvents(); // the paint of the changed columns
    }
}

BENCHMARK(BM_RollWholePaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RollTick)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tarnwick::bench

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
