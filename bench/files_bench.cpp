// The MIDI export in memory: building the event list and encoding the file,
// at the start values and with every line busy (the largest list, 5632 events).

#include <benchmark/benchmark.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "playback/transport.h"

namespace tarnwick {
namespace {

struct Piece {
    SongSettings settings;
    Score score;
};

Piece startValues() {
    Piece piece;
    RandomGenerator random(1);
    applyStartValues(piece.settings, random);
    piece.settings.drumKit = {9, 16, 40, 16, 9, 16, 40, 16};
    generateScore(piece.settings, piece.score);
    fillDrumNotes(piece.settings, piece.score);
    return piece;
}

// No rests, no held voice, the harmony on and a drum hit every step.
Piece busiest() {
    Piece piece = startValues();
    piece.settings.hold = {0, 0, 0};
    piece.settings.harmonyOffset = 7;
    piece.settings.beatLength = 1;
    piece.score.voice1Notes.fill(70);
    piece.score.voice2Notes.fill(60);
    piece.score.harmonyNotes.fill(67);
    piece.score.voice3Notes.fill(48);
    return piece;
}

void BM_BuildMidiEvents(benchmark::State& state, Piece piece) {
    RandomGenerator random(1);
    std::size_t events = 0;
    for (auto _ : state) {
        const std::vector<MidiEvent> list = buildMidiEvents(piece.settings, piece.score, random);
        events = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["events"] = static_cast<double>(events);
}
BENCHMARK_CAPTURE(BM_BuildMidiEvents, StartValues, startValues());
BENCHMARK_CAPTURE(BM_BuildMidiEvents, Busiest, busiest());

void BM_BuildAndEncodeMidiFile(benchmark::State& state, Piece piece) {
    RandomGenerator random(1);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<MidiEvent> list = buildMidiEvents(piece.settings, piece.score, random);
        const MidiFileBytes file = encodeMidiFile(piece.settings, list);
        bytes = file.bytes.size();
        benchmark::DoNotOptimize(file.bytes.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK_CAPTURE(BM_BuildAndEncodeMidiFile, StartValues, startValues());
BENCHMARK_CAPTURE(BM_BuildAndEncodeMidiFile, Busiest, busiest());

} // namespace
} // namespace tarnwick
